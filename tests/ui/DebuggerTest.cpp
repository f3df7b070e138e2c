// The debugger and the register viewer on the offscreen platform, with the main window whose
// runs they stop, step and resume.
#include <QGroupBox>
#include <QLayout>
#include <QLocale>
#include <QScreen>
#include <QSettings>
#include <QSignalBlocker>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <memory>

#include "common/HexText.h"
#include "common/Host.h"
#include "core/CpuState.h"
#include "debugger/DbgWnd.h"
#include "debugger/DebugForm.h"
#include "debugger/RegForm.h"
#include "memory/AddressMap.h"
#include "memory/RomImage.h"
#include "tests/support/InstrEncoder.h"
#include "tests/support/RomBytes.h"
#include "tests/support/TempDir.h"
#include "tests/ui/DebugLayout.h"
#include "tests/ui/Patience.h"
#include "tests/ui/WindowTestBase.h"
#include "ui/DebugPlacement.h"
#include "ui/MainForm.h"
#include "ui/QtHost.h"
#include "video/RendererHost.h"

using namespace vantor;
using namespace vantor::ui;

namespace {

using test::EncodeI;
using test::EncodeJ;

constexpr uint32_t kBase = 0xA4000040;
// addiu t1, t1, 1 in an endless loop: A4000040 add, A4000044 j A4000040, A4000048 nop.
const std::vector<uint32_t> kCountingLoop = {EncodeI(9, 9, 9, 1), EncodeJ(2, kBase >> 2), 0};

bool Has(const TTextPage& page, const TTextItem& item) {
  return std::find(page.begin(), page.end(), item) != page.end();
}

// The line of the view that carries the arrow, or -1.
int ArrowLine(const TTextPage& page) {
  for (const TTextItem& item : page)
    if (item.text == "->") return item.y / 10;
  return -1;
}

// The lines drawn as breakpoints.
std::vector<int> BreakLines(const TTextPage& page) {
  std::vector<int> lines;
  for (const TTextItem& item : page)
    if (item.tone == TTextTone::Break && item.text != "*") lines.push_back(item.y / 10);
  return lines;
}

}  // namespace

class DebuggerTest : public test::TWindowTestBase {
  Q_OBJECT

 private:
  std::unique_ptr<TDbgWnd> console_;
  std::unique_ptr<TMachineView> view_;
  std::unique_ptr<TRegForm> regs_;
  std::unique_ptr<TDebugger> debugger_;
  QStringList messages_;

  void LoadAndStart(const std::vector<uint32_t>& code) {
    form_->LoadRomFile(WriteRom("debug.z64", test::CodeRom(code)));
    form_->Start1->trigger();
  }
  // Waits for the run to stop by itself, as the windows learn of it.
  bool WaitForStop(QSignalSpy& stops, int count) {
    return QTest::qWaitFor([&] { return stops.count() >= count; }, test::kPatienceMs);
  }
  uint32_t Pc() { return view_->Take(debugger_->ViewAddr).pc.Lo; }
  // The three windows as the program makes them, known to the main window.
  void MakeDebugWindows() {
    debugger_.reset();
    regs_.reset();
    console_ = std::make_unique<TDbgWnd>();
    regs_ = std::make_unique<TRegForm>(*view_);
    debugger_ = std::make_unique<TDebugger>(*view_, *regs_, console_.get());
    debugger_->ShowMessage = [this](QWidget*, const QString& text) { messages_ << text; };
    form_->SetDebugConsole(console_.get());
    form_->SetDebugger(debugger_.get(), regs_.get());
  }

 private slots:
  void initTestCase() { QVERIFY(CreateMemoryBlocks()); }

  void init() {
    SetUpHost();
    form_ = std::make_unique<TMainForm>(*dialogs_, Settings());
    view_ = std::make_unique<TMachineView>(form_->Engine());
    view_->TimeoutMs = 30000;  // a loaded machine may not schedule the emulation thread soon
    MakeDebugWindows();
    messages_.clear();
    host_->SetStatusSink([this](const QString& text) { form_->SetSimpleText(text); });
    host_->SetLineSink([](const QStringList&) {});
    form_->show();
  }

  void cleanup() {
    form_->Button4Click();
    debugger_.reset();
    regs_.reset();
    view_.reset();
    console_.reset();
    TearDownHost();
  }

  // First, while this program has built no address map yet.
  void beforeAnyMapEveryLineIsIllegalMemory() {
    debugger_->PaintDisassembly();
    const TTextPage& page = debugger_->Disassembly->Page();
    QCOMPARE(page.size(), size_t{33});
    QCOMPARE(ArrowLine(page), 16);  // PC is still 0
    QCOMPARE(page.front().text, std::string("FFFFFFC0 : * ILLEGAL MEMORY! *"));
    QCOMPARE(page.back().text, std::string("0000003C : * ILLEGAL MEMORY! *"));
  }

  void windowsAsCreated() {
    QCOMPARE(regs_->windowTitle(), QString("r4300i Registers"));
    QCOMPARE(regs_->TabControl1->count(), 4);
    QCOMPARE(regs_->TabControl1->tabText(3), QString("COP1 - 64bit"));
    QCOMPARE(regs_->TabControl1->currentIndex(), 0);
    QVERIFY(!(regs_->windowFlags() & Qt::WindowCloseButtonHint));
    QCOMPARE(debugger_->windowTitle(), QString("Debugger"));
    QCOMPARE(debugger_->Edit1->text(), QString("00000000"));
    QCOMPARE(debugger_->ViewAddr, 0u);
    QVERIFY(!debugger_->isVisible() && !regs_->isVisible() && !console_->isVisible());
  }

  // Laid out for the fonts they have: every caption, the eight digits of the address, the tabs
  // and every page's text show whole, in fixed windows.
  void everyControlShowsItsTextWhole() {
    LoadAndStart(kCountingLoop);
    form_->Button4Click();
    form_->ViewDebugger1->trigger();
    test::CheckDebugWindowsShowTextWhole(*debugger_, *regs_);
  }

  // The first View Debugger puts the three windows beside the main window, each clear of the
  // others where the screen has room; where the user leaves them is where they open next time.
  void windowsOpenSideBySideAndWhereTheyWereLeft() {
    const QRect screen(0, 0, 1920, 1080);
    const QRect main(24, 24, 660, 540);
    const QList<QSize> sizes{{650, 590}, {370, 650}, {470, 270}};
    const QList<QPoint> places = SideBySide(main, sizes, screen);
    QList<QRect> taken{main};
    for (qsizetype i = 0; i < sizes.size(); ++i) {
      const QRect place(places[i], sizes[i]);
      QVERIFY(screen.contains(place));
      for (const QRect& other : taken)
        QVERIFY(!place.intersects(other));
      taken.append(place);
    }
    QCOMPARE(places[0], QPoint(main.right() + 9, main.top()));  // right beside the main window
    // A screen too small for all of them side by side: still all on it.
    const QRect small(0, 0, 1024, 768);
    const QList<QPoint> crowded = SideBySide(main, sizes, small);
    for (qsizetype i = 0; i < sizes.size(); ++i)
      QVERIFY(small.contains(QRect(crowded[i], sizes[i])));

    const QList<QWidget*> windows{debugger_.get(), regs_.get(), console_.get()};
    auto placement = std::make_unique<TDebugPlacement>(*form_, windows, Settings());
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    form_->ViewDebugger1->trigger();
    const QRect area = form_->screen()->availableGeometry();
    for (QWidget* window : windows) {
      QVERIFY(QTest::qWaitForWindowExposed(window));
      QVERIFY(area.contains(window->pos()));  // on the main window's screen
    }
    debugger_->move(300, 200);
    regs_->move(310, 210);
    console_->move(320, 220);
    debugger_->Button4Click();  // hiding them keeps their places
    QSettings settings(Settings(), QSettings::IniFormat);
    QCOMPARE(settings.value("DebugWindows/Debugger").toStringList(), QStringList({"300", "200"}));
    QCOMPARE(settings.value("DebugWindows/RegForm").toStringList(), QStringList({"310", "210"}));
    QCOMPARE(settings.value("DebugWindows/DbgWnd").toStringList(), QStringList({"320", "220"}));

    // The next start: the windows open where they were left.
    placement.reset();
    MakeDebugWindows();
    const QList<QWidget*> fresh{debugger_.get(), regs_.get(), console_.get()};
    placement = std::make_unique<TDebugPlacement>(*form_, fresh, Settings());
    form_->ViewDebugger1->trigger();
    QTRY_COMPARE(debugger_->pos(), QPoint(300, 200));
    QTRY_COMPARE(regs_->pos(), QPoint(310, 210));
    QTRY_COMPARE(console_->pos(), QPoint(320, 220));
  }

  void registerTabsRedrawOnChangeAndClick() {
    LoadAndStart(kCountingLoop);
    form_->Button4Click();  // no run: the viewer reads the machine itself
    regs_->TabControl1->setCurrentIndex(1);
    QVERIFY(Has(regs_->PaintBox1->Page(), {100, 320, "VI Counter"}));
    regs_->TabControl1->setCurrentIndex(2);
    const std::string point = QLocale().decimalPoint().toStdString();
    QVERIFY(Has(regs_->PaintBox1->Page(), {60, 0, "00000000  0" + point + "000"}));
    regs_->TabControl1->setCurrentIndex(0);
    // The run stopped somewhere in its loop.
    const uint32_t pc = view_->Take(0).pc.Lo;
    QVERIFY(pc == kBase || pc == kBase + 4 || pc == kBase + 8);
    QVERIFY(Has(regs_->PaintBox1->Page(), {40, 320, "FFFFFFFF " + Hex8(pc)}));
    regs_->PaintBox1->SetPage({});
    QTest::mouseClick(regs_->PaintBox1, Qt::LeftButton, {}, QPoint(50, 50));
    QVERIFY(Has(regs_->PaintBox1->Page(), {10, 290, "(1D)"}));
  }

  void signalProcessorTabsComeWithTheAccurateMode() {
    TMachineSnapshot shot;
    shot.accurate = true;
    shot.rsp.vu.reg[31].e[7] = 0x1234;
    regs_->Draw(shot);
    QCOMPARE(regs_->TabControl1->count(), 6);
    QCOMPARE(regs_->TabControl1->tabText(4), QString("RSP"));
    {
      // Without the signal: a change of tab draws the machine itself, which has no such run.
      const QSignalBlocker quiet(regs_->TabControl1);
      regs_->TabControl1->setCurrentIndex(kRspVectorTab);
    }
    regs_->Draw(shot);
    QVERIFY(Has(regs_->PaintBox1->Page(), {22, 310, "0000 0000 0000 0000 0000 0000 0000 1234"}));
    regs_->Draw(TMachineSnapshot{});  // a default-mode machine: its four tabs, the first shown
    QCOMPARE(regs_->TabControl1->count(), 4);
    QCOMPARE(regs_->TabControl1->currentIndex(), 0);
    QVERIFY(Has(regs_->PaintBox1->Page(), {10, 320, "(PC)"}));
  }

  void clickAddsTheLinesAddressOnceAndDeleteRemovesIt() {
    debugger_->ViewAddr = 0x80001000;
    TTextView& view = *debugger_->Disassembly;
    // The fifth line, low in it and at its top.
    QTest::mouseClick(&view, Qt::RightButton, {}, QPoint(100, view.RowTop(5) - 1));
    QCOMPARE(debugger_->BreakList->count(), 1);
    QCOMPARE(debugger_->BreakList->item(0)->text(), QString("Addr of : 80000FD0"));
    QCOMPARE(BreakLines(view.Page()), std::vector<int>{4});  // marked at once
    QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(5, view.RowTop(4)));
    QCOMPARE(messages_, QStringList{"Already exists a breakpoint of this exact type!"});
    QCOMPARE(debugger_->BreakList->count(), 1);
    debugger_->Edit1->setText("80001000");
    debugger_->BPAddClick();
    QCOMPARE(BreakLines(view.Page()), (std::vector<int>{4, 16}));
    debugger_->BreakList->setCurrentRow(1);
    debugger_->DeleteClick();
    QCOMPARE(BreakLines(view.Page()), std::vector<int>{4});

    debugger_->BreakList->clearSelection();
    debugger_->DeleteClick();  // nothing selected
    QCOMPARE(debugger_->BreakList->count(), 1);
    debugger_->BreakList->setCurrentRow(0);
    debugger_->DeleteClick();
    QCOMPARE(debugger_->BreakList->count(), 0);
    QVERIFY(debugger_->BreakPoints().Items().empty());
    QVERIFY(BreakLines(view.Page()).empty());
  }

  void edit1TakesHexDigitsOnly() {
    debugger_->Edit1->clear();
    QTest::keyClicks(debugger_->Edit1, "a1Gz");
    QTest::keyClick(debugger_->Edit1, Qt::Key_Backspace);
    QCOMPARE(debugger_->Edit1->text(), QString("A1"));
    QTest::keyClicks(debugger_->Edit1, "bcdef0123");
    QCOMPARE(debugger_->Edit1->text(), QString("A1BCDEF0"));  // eight at most

    debugger_->Edit1->setText("80g0");  // as a paste brings it
    debugger_->Button3Click();
    QCOMPARE(debugger_->ViewAddr, 0x800u);
    QCOMPARE(messages_, QStringList{"You should NEVER see this messagebox!!!"});
  }

  void scrollingAlwaysSnapsBackToTheMiddle() {
    debugger_->ViewAddr = 0x100;
    debugger_->ScrollBar1->triggerAction(QAbstractSlider::SliderSingleStepSub);
    QCOMPARE(debugger_->ViewAddr, 0xFCu);
    QCOMPARE(debugger_->ScrollBar1->value(), 1);
    debugger_->ScrollBar1->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    debugger_->ScrollBar1->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(debugger_->ViewAddr, 0x104u);
    QCOMPARE(debugger_->ScrollBar1->value(), 1);
    debugger_->ScrollBar1->triggerAction(QAbstractSlider::SliderPageStepSub);
    QCOMPARE(debugger_->ViewAddr, 0xC4u);
    QCOMPARE(debugger_->Disassembly->Page().front().text.substr(0, 8), std::string("00000084"));
  }

  void viewDebuggerShowsAllThreeAndExitHidesThem() {
    form_->ViewDebugger1->trigger();
    QVERIFY(debugger_->isVisible() && regs_->isVisible() && console_->isVisible());
    debugger_->close();  // its own close box
    QVERIFY(!debugger_->isVisible() && regs_->isVisible() && console_->isVisible());
    form_->ViewDebugger1->trigger();
    debugger_->Button4->click();
    QVERIFY(!debugger_->isVisible() && !regs_->isVisible() && !console_->isVisible());
  }

  void aRunStartedWithTheDebuggerHiddenRunsOn() {
    QSignalSpy stops(debugger_.get(), &TDebugger::Stopped);
    form_->ViewDebugger1->trigger();
    debugger_->Button4Click();
    LoadAndStart(kCountingLoop);
    QVERIFY(debugger_->StepMode);
    QTest::qWait(100);
    QCOMPARE(stops.count(), 0);
    QVERIFY(!form_->Pause1->isChecked());
  }

  void stepFromTheFirstInstructionThenRunToABreakpoint() {
    QSignalSpy stops(debugger_.get(), &TDebugger::Stopped);
    form_->ViewDebugger1->trigger();
    LoadAndStart(kCountingLoop);
    QVERIFY(WaitForStop(stops, 1));  // before the first instruction
    QVERIFY(form_->Pause1->isChecked());
    QCOMPARE(form_->SimpleText(), QString("Emulation Paused"));
    QCOMPARE(debugger_->ViewAddr, kBase);  // followed PC to the middle line
    QCOMPARE(ArrowLine(debugger_->Disassembly->Page()), 16);
    QVERIFY(Has(regs_->PaintBox1->Page(), {40, 320, "FFFFFFFF A4000040"}));

    debugger_->Step->click();
    QVERIFY(WaitForStop(stops, 2));
    QCOMPARE(Pc(), kBase + 4);
    QCOMPARE(ArrowLine(debugger_->Disassembly->Page()), 17);  // still in view: no scroll

    debugger_->Edit1->setText("A4000044");
    debugger_->BPAdd->click();
    for (int round = 3; round <= 5; ++round) {
      debugger_->Run->click();
      QVERIFY(!debugger_->StepMode);
      QVERIFY(WaitForStop(stops, round));
      QCOMPARE(Pc(), kBase + 4);
      QVERIFY(Has(regs_->PaintBox1->Page(),
                  {40, 90, "00000000 0000000" + std::to_string(round - 1)}));  // t1
    }
  }

  // Stepping is armed by the start of a run and disarmed by Run: showing the debugger again
  // after Run leaves the run going, and Step stops it at its next instruction.
  void afterRunShowingTheDebuggerAgainLeavesTheRunGoing() {
    QSignalSpy stops(debugger_.get(), &TDebugger::Stopped);
    form_->ViewDebugger1->trigger();
    LoadAndStart(kCountingLoop);
    QVERIFY(WaitForStop(stops, 1));
    debugger_->Run->click();
    debugger_->Button4Click();
    form_->ViewDebugger1->trigger();
    QTest::qWait(100);
    QCOMPARE(stops.count(), 1);
    QVERIFY(!form_->Engine().Paused());
    debugger_->Step->click();
    QVERIFY(WaitForStop(stops, 2));
    QVERIFY(debugger_->StepMode);
  }

  void breakpointsSetWhileRunningStopAndShowTheWindows() {
    QSignalSpy stops(debugger_.get(), &TDebugger::Stopped);
    LoadAndStart(kCountingLoop);
    QTest::qWait(20);
    debugger_->Edit1->setText("A4000040");
    debugger_->BPAddClick();
    QVERIFY(WaitForStop(stops, 1));
    QVERIFY(debugger_->isVisible() && regs_->isVisible() && console_->isVisible());
    QVERIFY(form_->Pause1->isChecked());
    QCOMPARE(Pc(), kBase);

    // Unchecking Pause goes on past the breakpoint and stops at it again.
    form_->Pause1->trigger();
    QVERIFY(WaitForStop(stops, 2));
  }

  void stopResetAndCloseFromAStop() {
    QSignalSpy stops(debugger_.get(), &TDebugger::Stopped);
    form_->ViewDebugger1->trigger();
    LoadAndStart(kCountingLoop);
    QVERIFY(WaitForStop(stops, 1));
    form_->Reset1->trigger();  // a new run, stopped before its first instruction again
    QVERIFY(WaitForStop(stops, 2));
    QVERIFY(form_->Engine().Exists());
    QCOMPARE(Pc(), kBase);
    form_->UnloadROM1->trigger();
    QVERIFY(!form_->Engine().Exists());
    QVERIFY(!form_->Pause1->isChecked());
    debugger_->ViewAddr = 0xB0000000;  // the closed image's pages are not read
    debugger_->PaintDisassembly();
    QCOMPARE(debugger_->Disassembly->Page().front().text,
             std::string("AFFFFFC0 : * UNMAPPED MEMORY! *"));
    QCOMPARE(debugger_->Disassembly->Page().back().text,
             std::string("B000003C : * UNMAPPED MEMORY! *"));
  }

  void jumpHereAndJumpToCevFromAStop() {
    QSignalSpy stops(debugger_.get(), &TDebugger::Stopped);
    form_->ViewDebugger1->trigger();
    LoadAndStart(kCountingLoop);
    QVERIFY(WaitForStop(stops, 1));
    debugger_->Edit1->setText("80000400");
    debugger_->Button2->click();
    debugger_->Step->click();  // the add runs, then the typed address is next
    QVERIFY(WaitForStop(stops, 2));
    QCOMPARE(Pc(), 0x80000400u);
    QCOMPARE(debugger_->ViewAddr, 0x80000400u);  // left the lines in view: followed

    debugger_->Button1->click();
    debugger_->Step->click();
    QVERIFY(WaitForStop(stops, 3));
    QCOMPARE(Pc(), kExceptionVector);
  }

  void aThousandRapidStepPresses() {
    QSignalSpy stops(debugger_.get(), &TDebugger::Stopped);
    form_->ViewDebugger1->trigger();
    LoadAndStart(kCountingLoop);
    QVERIFY(WaitForStop(stops, 1));
    for (int i = 0; i < 1000; ++i) {
      debugger_->Step->click();
      if (i % 10 == 0) QCoreApplication::processEvents();
    }
    // Presses on a thread that has not stopped yet only set step mode: it stops again soon.
    QVERIFY(QTest::qWaitFor([&] { return form_->Engine().Paused(); }, 20000));
    const uint32_t pc = Pc();
    QVERIFY2(pc == kBase || pc == kBase + 4 || pc == kBase + 8, std::to_string(pc).c_str());
    debugger_->Run->click();
    form_->Button4Click();
  }
};

QTEST_MAIN(DebuggerTest)
#include "DebuggerTest.moc"
