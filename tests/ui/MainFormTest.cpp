// The main window on the offscreen platform: its menu table, the menu states across the
// commands, Load ROM with the dialog answered by the test, sizes, full-screen mode, snapshots.
#include <sys/stat.h>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <thread>

#include "common/Host.h"
#include "common/StateFile.h"
#include "core/Accurate.h"
#include "core/MachineImage.h"
#include "memory/AddressMap.h"
#include "memory/RomImage.h"
#include "tests/support/FifoRescue.h"
#include "tests/support/RomBytes.h"
#include "tests/support/TempDir.h"
#include "tests/ui/WindowTestBase.h"
#include "ui/App.h"
#include "ui/Config.h"
#include "ui/MainForm.h"
#include "ui/QtHost.h"
#include "ui/SdlAudio.h"
#include "ui/Settings.h"
#include "ui/StateSlots.h"
#include "video/RendererHost.h"

using namespace vantor;
using namespace vantor::ui;

namespace {

// A ROM whose first instruction jumps to itself: it runs until stopped, quietly.
std::vector<uint8_t> IdleRom(std::string_view name = "IDLE LOOP", uint8_t country = 'E') {
  auto bytes = test::BigEndianRom({.name = name, .country = country});
  const uint8_t loop[8] = {0x09, 0x00, 0x00, 0x10, 0, 0, 0, 0};  // j 0xA4000040; nop
  std::copy(std::begin(loop), std::end(loop), bytes.begin() + 0x40);
  return bytes;
}

// A ROM that sets a 320-pixel frame width and idles: every frame that falls due is presented.
std::vector<uint8_t> FramesRom() {
  auto bytes = IdleRom("FRAMES");
  const uint8_t code[16] = {
      0x3C, 0x08, 0xA4, 0x40,  // lui t0, 0xA440
      0x24, 0x09, 0x01, 0x40,  // addiu t1, zero, 320
      0xAD, 0x09, 0x00, 0x08,  // sw t1, 8(t0): VI_WIDTH
      0x09, 0x00, 0x00, 0x13,  // j 0xA400004C
  };
  std::copy(std::begin(code), std::end(code), bytes.begin() + 0x40);
  std::fill_n(bytes.begin() + 0x50, 4, 0);  // nop in the delay slot
  return bytes;
}

// A renderer that draws nothing and is always ready: a run presents frames as fast as it can.
void BindFastRenderer() {
  TRendererEntries entries;
  entries.InitRenderer = [](int32_t, int32_t, TWindowHandle, TWindowHandle) -> int32_t {
    return 1;
  };
  entries.Flip = [](const void*) -> int32_t { return 0; };
  BindBuiltInRenderer(entries);
}

std::atomic<bool> boxOpen{false};
std::atomic<bool> boxAnswered{false};

QStringList EnabledOf(const QList<QAction*>& items) {
  QStringList enabled;
  for (QAction* item : items)
    if (item->isEnabled()) enabled << item->objectName();
  return enabled;
}

}  // namespace

class MainFormTest : public test::TWindowTestBase {
  Q_OBJECT

 private:
  QStringList lines_;

  // The items whose state the commands change, enabled ones listed.
  QStringList RunItems() const {
    return EnabledOf({form_->UnloadROM1, form_->ROMInfo1, form_->Start1, form_->Pause1,
                      form_->Reset1, form_->FullScreen1});
  }

 private slots:
  void initTestCase() { QVERIFY(CreateMemoryBlocks()); }

  void init() {
    SetUpHost();
    lines_.clear();
    form_ = std::make_unique<TMainForm>(*dialogs_, Settings());
    // The window's destructor ends a run, whose last status texts must not reach it then.
    host_->SetStatusSink([this](const QString& text) {
      if (form_) form_->SetSimpleText(text);
    });
    host_->SetLineSink([this](const QStringList& lines) { lines_ << lines; });
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
  }

  void cleanup() {
    // The run's last status texts reach the form while Stop drains them: stop it while the
    // form still exists.
    form_->Button4Click();
    TearDownHost();
  }

  void windowAndMenuTable_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QKeySequence>("shortcut");
    QTest::addColumn<bool>("enabled");
    const QKeySequence none;
    const struct {
      const char *name, *caption;
      QKeySequence shortcut;
      bool enabled;
    } table[] = {
        {"LoadROM1", "&Load ROM...", none, true},
        {"UnloadROM1", "&Close ROM", none, false},
        {"ROMInfo1", "&Rom Info", none, false},
        {"SaveSnapshot1", "Save Snapshot", none, true},
        {"SaveState1", "&Save State", QKeySequence(Qt::Key_F2), false},
        {"LoadState1", "Loa&d State", QKeySequence(Qt::Key_F4), false},
        {"SaveStateAs1", "Save State &As...", none, false},
        {"LoadStateFrom1", "Load State &From...", none, false},
        {"Exit1", "E&xit", QKeySequence(Qt::Key_Escape), true},
        {"Configuration1", "&Configuration", QKeySequence(Qt::Key_F12), false},
        {"ViewDebugger1", "View Debugger", none, true},
        {"LimitSpeed1", "Limit Speed", none, true},
        {"Start1", "&Start", QKeySequence(Qt::Key_F5), false},
        {"Pause1", "&Pause", QKeySequence(Qt::Key_F6), false},
        {"Reset1", "&Reset", QKeySequence(Qt::Key_F7), false},
        {"ForceRender1", "Force Render", none, true},
        {"FlushDump1", "&Flush Dump", none, true},
        {"FullScreen1", "Fullscreen", QKeySequence(Qt::ALT | Qt::Key_Enter), false},
        {"N320x2401", "320x240", none, true},
        {"N512x3841", "512x384", none, true},
        {"N640x2401", "640x480", none, true},
        {"N800x6001", "800x600", none, true},
        {"N1024x7681", "1024x768", none, true},
        {"Help2", "Help!", none, false},
        {"Index1", "&Index", none, false},
        {"VantorTeam1", "Vantor Team", none, true},
    };
    for (const auto& row : table)
      QTest::newRow(row.name) << row.name << row.caption << row.shortcut << row.enabled;
  }

  void windowAndMenuTable() {
    QFETCH(QString, name);
    auto* item = form_->findChild<QAction*>(name);
    QVERIFY(item != nullptr);
    QTEST(item->text(), "caption");
    QTEST(item->shortcut(), "shortcut");
    QTEST(item->isEnabled(), "enabled");
    QVERIFY(item->isVisible());
  }

  void windowLayoutAndMenus() {
    QCOMPARE(form_->windowTitle(), QString("Vantor64 0.25"));
    QCOMPARE(form_->PaintBox1->size(), QSize(320, 240));
    QCOMPARE(form_->StatusBar1->height(), 19);
    QCOMPARE(form_->centralWidget()->height() + form_->StatusBar1->height(), 259);
    QVERIFY(form_->Image1->isVisible());
    QCOMPARE(form_->Image1->pixmap().size(), QSize(320, 240));

    QStringList menus, shown;
    for (QAction* action : form_->MainMenu1->actions()) {
      menus << action->menu()->objectName() + "=" + action->text();
      if (action->isVisible()) shown << action->menu()->objectName();
    }
    QCOMPARE(menus, QStringList({"File1=&File", "Options1=&Options", "Emulation=&Emulation",
                                 "Video1=&Video", "Debug1=&Debug", "Resolution=&Screen Size",
                                 "Help1=&Help"}));
    QCOMPARE(shown, QStringList({"File1", "Options1", "Emulation", "Resolution", "Help1"}));
    // Separators where the table has them, in order.
    QStringList fileItems;
    for (QAction* item : form_->File1->actions())
      fileItems << (item->isSeparator() ? "-" + item->objectName() : item->objectName());
    QCOMPARE(fileItems, QStringList({"LoadROM1", "UnloadROM1", "ROMInfo1", "-N1", "SaveSnapshot1",
                                     "-N2", "SaveState1", "LoadState1", "SaveStateAs1",
                                     "LoadStateFrom1", "StateSlot1", "-N3", "Exit1"}));
    QVERIFY(form_->N5->isSeparator() && form_->N4->isSeparator());
    QVERIFY(form_->Pause1->isCheckable() && form_->FullScreen1->isCheckable());
  }

  // Shortcuts reach only enabled, visible items.
  void shortcutsFollowItemState() {
    QApplication::setActiveWindow(form_.get());
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    Load(WriteRom("idle.z64", IdleRom()));
    form_->Start1->setEnabled(false);
    QTest::keyClick(form_.get(), Qt::Key_F5);
    QVERIFY(!form_->Engine().Exists());
    form_->Start1->setEnabled(true);
    form_->Start1->setVisible(false);
    QTest::keyClick(form_.get(), Qt::Key_F5);
    QVERIFY(!form_->Engine().Exists());
    form_->Start1->setVisible(true);
    QTest::keyClick(form_.get(), Qt::Key_F5);
    QVERIFY(form_->Engine().Exists());
    QTest::keyClick(form_.get(), Qt::Key_F6);
    QVERIFY(form_->Pause1->isChecked());

    form_->Exit1->setEnabled(false);
    QTest::keyClick(form_.get(), Qt::Key_Escape);
    QVERIFY(form_->isVisible());
    form_->Exit1->setEnabled(true);
    QTest::keyClick(form_.get(), Qt::Key_Escape);
    QVERIFY(!form_->isVisible());
    QVERIFY(!form_->Engine().Exists());  // closing stops the run
  }

  void menuStatesAcrossRun() {
    QCOMPARE(RunItems(), QStringList());
    const QString rom = WriteRom("idle.z64", IdleRom());

    // Close ROM before Start unloads the ROM.
    Load(rom);
    QCOMPARE(RunItems(), QStringList({"UnloadROM1", "ROMInfo1", "Start1"}));
    QCOMPARE(form_->windowTitle(), QString("Vantor64 0.25 - IDLE LOOP"));
    form_->UnloadROM1->trigger();
    QVERIFY(!RomLoaded);
    QCOMPARE(form_->windowTitle(), QString("Vantor64 0.25"));
    QCOMPARE(RunItems(), QStringList());
    QVERIFY(form_->Image1->isVisible());

    // Start is off for as long as a run exists, paused or not.
    Load(rom);
    form_->Start1->trigger();
    QVERIFY(form_->Engine().Exists());
    const QStringList running = {"UnloadROM1", "ROMInfo1", "Pause1", "Reset1", "FullScreen1"};
    QCOMPARE(RunItems(), running);
    form_->Button3Click();  // a second Start while the thread exists does nothing
    QVERIFY(form_->Engine().Exists());

    form_->Pause1->trigger();
    QVERIFY(form_->Pause1->isChecked());
    QVERIFY(!form_->Start1->isEnabled());
    QCOMPARE(form_->SimpleText(), QString("Emulation Paused"));
    QTRY_VERIFY(form_->Engine().Paused());
    form_->Pause1->trigger();
    QVERIFY(!form_->Pause1->isChecked());
    QCOMPARE(RunItems(), running);
    QTRY_VERIFY(!form_->Engine().Paused());

    // Reset from the paused state: the old run ends (its closing line) before the new one runs.
    form_->Pause1->trigger();
    QTRY_VERIFY(form_->Engine().Paused());
    form_->Reset1->trigger();
    QCOMPARE(lines_.filter("Emulated ").size(), 1);
    QVERIFY(form_->Engine().Exists());
    QVERIFY(!form_->Engine().Paused());
    QVERIFY(!form_->Pause1->isChecked());
    QCOMPARE(RunItems(), running);

    // Close ROM from the paused state.
    form_->Pause1->trigger();
    QTRY_VERIFY(form_->Engine().Paused());
    QString statusDuringBlock;
    QTimer::singleShot(500, [&] { statusDuringBlock = form_->SimpleText(); });
    form_->UnloadROM1->trigger();
    QCOMPARE(statusDuringBlock, QString("Rom Closing..."));
    QCOMPARE(form_->SimpleText(), QString());
    QVERIFY(!form_->Engine().Exists());
    QVERIFY(!RomLoaded);
    QCOMPARE(lines_.filter("Emulated ").size(), 2);
    QCOMPARE(form_->windowTitle(), QString("Vantor64 0.25"));
    QCOMPARE(RunItems(), QStringList());
    QVERIFY(!form_->Pause1->isChecked());
    QVERIFY(form_->Image1->isVisible());
    QVERIFY(!form_->PaintBox1->isVisible());
  }

  void loadRomCancelledChangesNothing() {
    form_->LoadROM1->trigger();
    QCOMPARE(dialogs_->openTitle, QString("Load N64 ROM Image"));
    QCOMPARE(dialogs_->openFilter, QString("N64 ROMS (*.v64 *.z64 *.n64 *.bin);;All files (*)"));
    QCOMPARE(dialogs_->openFolder, QString());
    QVERIFY(!QFile::exists(Settings()));
    QCOMPARE(RunItems(), QStringList());
    QCOMPARE(form_->windowTitle(), QString("Vantor64 0.25"));
    QVERIFY(lines_.isEmpty());
  }

  void loadRomRemembersFolder() {
    const QString rom = WriteRom("game.v64", IdleRom());
    Load(rom);
    const QString folder = QString::fromStdString(dir_->Path().string()) + "/";
    QCOMPARE(QSettings(Settings(), QSettings::IniFormat).value("Paths/RomDir").toString(), folder);
    dialogs_->answers << QString();
    form_->LoadROM1->trigger();
    QCOMPARE(dialogs_->openFolder, folder);
  }

  void loadRomByteOrders() {
    auto bigEndian = IdleRom("SAME NAME", 'J');
    Load(WriteRom("big.z64", bigEndian));
    const QString caption = form_->windowTitle();
    const auto stream = form_->RomStream;
    const auto header = form_->RomHeaderBuf;
    QCOMPARE(caption, QString("Vantor64 0.25 - SAME NAME"));
    QCOMPARE(form_->RomCountry, QString("Japan"));
    QCOMPARE(form_->RomMaker, QString("Nintendo"));
    QCOMPARE(form_->RomName, QByteArray("SAME NAME\0\0\0\0\0\0\0\0\0\0\0", 20));
    QCOMPARE(form_->SimpleText(), QString("Ready!!!"));
    QVERIFY(lines_.contains("Loaded SAME NAME") && lines_.contains("MMkay!"));
    QVERIFY(!form_->Image1->isVisible() && form_->PaintBox1->isVisible());

    lines_.clear();
    QStringList statuses;
    host_->SetStatusSink([&](const QString& text) {
      statuses << text;
      form_->SetSimpleText(text);
    });
    // Country "X" has no name: the field keeps the last one.
    auto swapped = test::HalfwordSwapped(IdleRom("SAME NAME", 'X'));
    const QString swappedPath = WriteRom("swapped.v64", swapped);
    Load(swappedPath);
    QCOMPARE(form_->windowTitle(), caption);
    QCOMPARE(form_->RomCountry, QString("Japan"));
    QCOMPARE(statuses, QStringList({"Loading...", "Loaded " + swappedPath, "Byteswapping...",
                                    "Byteswapping  clear", "Ready!!!"}));
    QVERIFY(RomLoaded);
    QCOMPARE(form_->RomHeaderBuf[62], uint8_t('X'));
    form_->RomHeaderBuf[62] = header[62];
    QCOMPARE(form_->RomHeaderBuf, header);
    QCOMPARE(lines_.filter("Country Code").first(), QString("Country Code : ?"));

    // 40 12 37 80, as other tools write .n64 files: loaded and started like the other two.
    statuses.clear();
    const QString reversedPath = WriteRom("reversed.n64", test::WordReversed(bigEndian));
    Load(reversedPath);
    QCOMPARE(form_->windowTitle(), caption);
    QCOMPARE(form_->RomStream, stream);
    QCOMPARE(statuses, QStringList({"Loading...", "Loaded " + reversedPath, "Wordswapping...",
                                    "Wordswapping  clear", "Byteswapping...", "Byteswapping  clear",
                                    "Ready!!!"}));
    QVERIFY(RomLoaded);
    QVERIFY(!lines_.contains("Invalid \"Magic\"!"));
    QVERIFY(form_->Start1->isEnabled());
    form_->Start1->trigger();
    QVERIFY(form_->Engine().Exists());
    QVERIFY(dialogs_->errors.isEmpty());
  }

  // A file the loader refuses is never reported as ready, names itself and its fault, and leaves
  // nothing to start.
  void loadFailuresAreReported() {
    const auto refused = [&](const QString& path, const QString& reason) {
      QCOMPARE(dialogs_->errors.size(), 1);
      QVERIFY2(dialogs_->errors[0].contains(path), qPrintable(dialogs_->errors[0]));
      QVERIFY2(dialogs_->errors[0].contains(reason), qPrintable(dialogs_->errors[0]));
      QVERIFY(form_->SimpleText() != "Ready!!!");
      QVERIFY(!RomLoaded);
      QVERIFY(!form_->Start1->isEnabled() && !form_->UnloadROM1->isEnabled());
      QVERIFY(form_->Image1->isVisible());
      dialogs_->errors.clear();
    };
    // A good ROM first: a failed load must not leave its Start behind.
    Load(WriteRom("good.z64", IdleRom()));
    QVERIFY(form_->Start1->isEnabled());

    auto bytes = IdleRom("ODD ONE");
    bytes[0] = 0x12;
    const QString odd = WriteRom("odd.bin", bytes);
    Load(odd);
    refused(odd, "Invalid \"Magic\"!");
    QVERIFY(form_->SimpleText() == "Unsupported Rom Format!");
    QCOMPARE(lines_.count("MMkay!"), 3);
    QCOMPARE(form_->windowTitle(), QString("Vantor64 0.25 - ODD ONE"));

    // The right first byte with the wrong second one, and a file too short for a header.
    auto wrongSecond = IdleRom();
    wrongSecond[1] = 0x99;
    for (const std::vector<uint8_t>& garbage : {wrongSecond, std::vector<uint8_t>{0x80, 0x37}}) {
      const QString path = WriteRom("garbage.z64", garbage);
      Load(path);
      refused(path, QString::fromStdString(RomLoadError));
      QVERIFY(!RomLoadError.empty());
      QCOMPARE(form_->SimpleText(), QString::fromStdString(RomLoadError));
    }
    // Nothing is loaded and the header had no name: the caption of no ROM, not a bare " - ".
    QCOMPARE(form_->windowTitle(), QString("Vantor64 0.25"));
    QCOMPARE(form_->RomCountry, QString("Unknown"));

    // A file that is gone, while a ROM runs: the loader's console line, then the window's own
    // open error; the caption no longer names the ROM that was unloaded.
    Load(WriteRom("running.z64", IdleRom("RUNNING")));
    form_->Start1->trigger();
    QVERIFY(form_->Engine().Exists());
    const QString missing = QString::fromStdString((dir_->Path() / "missing.z64").string());
    Load(missing);
    QVERIFY(lines_.last().startsWith("Error loading "));
    refused(missing, "Cannot open file");
    QCOMPARE(form_->windowTitle(), QString("Vantor64 0.25"));

    Load(WriteRom("empty.z64", {}));
    QCOMPARE(dialogs_->errors.size(), 1);
    QVERIFY(dialogs_->errors[0].startsWith("Unsupported Rom Format!\n"));
  }

  void unprintableTitleBytesAreReplaced() {
    Load(WriteRom("odd title.z64", IdleRom("BAD\x01\x1b\x7f\x9fNAME\xe9")));
    QCOMPARE(form_->windowTitle(), QString::fromUtf8("Vantor64 0.25 - BAD????NAME\xc3\xa9"));
  }

  // Neither read of Load ROM waits on a FIFO or reads an image larger than the cartridge window.
  void loadRomRefusesFifosAndOversizedFilesUnread() {
    test::FifoRescue fifo((dir_->Path() / "fifo.z64").string());
    Load(QString::fromStdString(fifo.Path()));
    QVERIFY2(!fifo.Rescued(), "Load ROM waited for a writer");
    QVERIFY(lines_.contains(QString::fromStdString("Error loading " + fifo.Path())));
    QCOMPARE(dialogs_->errors.size(), 1);
    QVERIFY(dialogs_->errors[0].endsWith("it is not a regular file"));
    QVERIFY(!RomLoaded);

    dialogs_->errors.clear();
    const QString large = WriteRom("large.z64", IdleRom());
    std::filesystem::resize_file(large.toStdString(), 300u << 20);  // sparse: costs no disk
    Load(large);
    QCOMPARE(dialogs_->errors.size(), 1);
    QVERIFY(dialogs_->errors[0].endsWith("larger than the 256 MB a cartridge can hold"));
    QVERIFY(form_->RomStream.empty());
    QVERIFY(!RomLoaded);
  }

  // A Vantor64.ini that is no settings file: Load ROM works on the defaults and says so once.
  void loadRomWithAHostileSettingsFile() {
    std::filesystem::create_symlink("/dev/zero", Settings().toStdString());
    Load(WriteRom("first.z64", IdleRom("FIRST")));
    Load(WriteRom("second.z64", IdleRom("SECOND")));
    QCOMPARE(form_->windowTitle(), QString("Vantor64 0.25 - SECOND"));
    QVERIFY(RomLoaded);
    QCOMPARE(dialogs_->openFolder, QString());
    QCOMPARE(dialogs_->errors.size(), 1);
    QVERIFY(dialogs_->errors[0].contains("is not a settings file"));
    QVERIFY(std::filesystem::is_symlink(Settings().toStdString()));
  }

  // Loading while a ROM runs ends the run first: the machine never runs on a freed image.
  void loadWhileRunningStopsTheRun() {
    Load(WriteRom("first.z64", IdleRom("FIRST")));
    form_->Start1->trigger();
    form_->Pause1->trigger();
    Load(WriteRom("second.z64", IdleRom("SECOND")));
    QVERIFY(!form_->Engine().Exists());
    QCOMPARE(lines_.filter("Emulated ").size(), 1);
    QCOMPARE(RunItems(), QStringList({"UnloadROM1", "ROMInfo1", "Start1"}));
    form_->Start1->trigger();
    QVERIFY(form_->Engine().Exists());
  }

  void fullScreenPictureKeepsItsShape() {
    QCOMPARE(FullScreenPictureRect({1920, 1080}), QRect(240, 0, 1440, 1080));
    QCOMPARE(FullScreenPictureRect({1280, 1024}), QRect(0, 32, 1280, 960));
    QCOMPARE(FullScreenPictureRect({1024, 768}), QRect(0, 0, 1024, 768));
    QCOMPARE(FullScreenPictureRect({800, 577}), QRect(16, 0, 768, 576));
    QCOMPARE(FullScreenPictureRect({0, 0}), QRect(0, 0, 0, 0));
  }

  void screenSizes_data() {
    QTest::addColumn<QString>("item");
    QTest::addColumn<QSize>("outer");
    QTest::newRow("320x240") << "N320x2401" << QSize(328, 303);
    QTest::newRow("512x384") << "N512x3841" << QSize(520, 447);
    QTest::newRow("640x480") << "N640x2401" << QSize(648, 543);
    QTest::newRow("800x600") << "N800x6001" << QSize(808, 663);
    QTest::newRow("1024x768") << "N1024x7681" << QSize(1032, 831);
  }

  void screenSizes() {
    QFETCH(QString, item);
    QFETCH(QSize, outer);
    const QList<QAction*> sizes = {form_->N320x2401, form_->N512x3841, form_->N640x2401,
                                   form_->N800x6001, form_->N1024x7681};
    QVERIFY(form_->N320x2401->isChecked());  // the size the window starts at
    form_->findChild<QAction*>(item)->trigger();
    // The menu shows the current size, and only that one.
    for (QAction* size : sizes)
      QCOMPARE(size->isChecked(), size->objectName() == item);
    QTRY_COMPARE(form_->PaintBox1->size(), outer - QSize(8, 63));
    QCOMPARE(form_->Image1->size(), form_->PaintBox1->size());
    QVERIFY(form_->Image1->hasScaledContents());
    QCOMPARE(form_->StatusBar1->height(), 19);
    QCOMPARE(form_->minimumSize(), form_->maximumSize());  // a fixed border
    // The renderer's target follows the drawing area.
    const TScreenRect target = LatestTargetRect();
    const QPoint origin = form_->PaintBox1->mapToGlobal(QPoint(0, 0));
    QCOMPARE(QRect(target.Left, target.Top, target.Width, target.Height),
             QRect(origin, form_->PaintBox1->size()));
  }

  // The window keeps its native window, which the renderer draws into, and comes back where it
  // was, at the size it had.
  void fullScreenTwice() {
    form_->N640x2401->trigger();
    Load(WriteRom("idle.z64", IdleRom()));
    form_->Start1->trigger();
    QVERIFY(form_->FullScreen1->isEnabled());
    const WId native = form_->winId();
    const QSize normalSize = form_->size();
    const QPoint normalPosition = form_->pos();
    const Qt::WindowFlags flags = form_->windowFlags();
    const QRect screen = form_->screen()->geometry();
    for (int round = 0; round < 2; ++round) {
      form_->FullScreen1->trigger();
      QVERIFY(form_->FullScreen1->isChecked());
      QTRY_COMPARE(form_->geometry(), screen);
      QVERIFY(form_->isFullScreen());
      QVERIFY(!form_->StatusBar1->isVisible());
      for (QMenu* menu : {form_->File1, form_->Options1, form_->Emulation, form_->Resolution})
        QVERIFY(!menu->menuAction()->isVisible());
      QVERIFY(form_->Help1->menuAction()->isVisible());
      // The picture keeps its shape, centred, with black borders where the screen has room.
      const QSize area = form_->centralWidget()->size();
      QTRY_COMPARE(form_->PaintBox1->geometry(), FullScreenPictureRect(area));
      QVERIFY(form_->PaintBox1->width() == area.width() ||
              form_->PaintBox1->height() == area.height());

      form_->FullScreen1->trigger();
      QVERIFY(!form_->FullScreen1->isChecked());
      QVERIFY(!form_->isFullScreen());
      QVERIFY(form_->StatusBar1->isVisible());
      for (QMenu* menu : {form_->File1, form_->Options1, form_->Emulation, form_->Resolution})
        QVERIFY(menu->menuAction()->isVisible());
      QTRY_COMPARE(form_->size(), normalSize);
      QTRY_COMPARE(form_->pos(), normalPosition);
      QCOMPARE(form_->PaintBox1->size(), QSize(640, 480));
      QCOMPARE(form_->winId(), native);
      QCOMPARE(form_->windowFlags(), flags);
    }
  }

  // With the menus hidden their shortcuts are gone: Esc and Alt with either Enter key leave
  // full-screen mode, and Esc quits nothing there.
  void shortcutsInFullScreen() {
    QApplication::setActiveWindow(form_.get());
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    Load(WriteRom("idle.z64", IdleRom()));
    form_->Start1->trigger();
    QCOMPARE(form_->FullScreen1->shortcut().toString(QKeySequence::NativeText),
             QString("Alt+Enter"));

    QTest::keyClick(form_.get(), Qt::Key_Enter, Qt::AltModifier | Qt::KeypadModifier);
    QVERIFY(form_->FullScreen1->isChecked());
    for (Qt::Key key : {Qt::Key_F5, Qt::Key_F6, Qt::Key_F7, Qt::Key_F12})
      QTest::keyClick(form_.get(), key);
    QVERIFY(!form_->Pause1->isChecked());
    QCOMPARE(lines_.filter("Emulated ").size(), 0);  // no Reset either
    QTest::keyClick(form_.get(), Qt::Key_Escape);
    QVERIFY(form_->isVisible());
    QVERIFY(!form_->FullScreen1->isChecked());
    QVERIFY(form_->Engine().Exists());

    QTest::keyClick(form_.get(), Qt::Key_Return, Qt::AltModifier);
    QVERIFY(form_->FullScreen1->isChecked());
    QTest::keyClick(form_.get(), Qt::Key_Return, Qt::AltModifier);
    QVERIFY(!form_->FullScreen1->isChecked());
    QTest::keyClick(form_.get(), Qt::Key_F6);  // the menus' shortcuts are back
    QVERIFY(form_->Pause1->isChecked());
    QTest::keyClick(form_.get(), Qt::Key_Escape);
    QVERIFY(!form_->isVisible());
  }

  // Frame rates that the thread published before the pause never replace the window's text.
  // The choice is kept in the settings and reaches the engine at the next Start, not before.
  void accurateHardwareTakesEffectAtStart() {
    QVERIFY(form_->AccurateHardware1->isCheckable() && !form_->AccurateHardware1->isChecked());
    Load(WriteRom("idle.z64", IdleRom()));
    form_->Start1->trigger();
    form_->AccurateHardware1->trigger();
    QVERIFY(ReadAccurateHardware(Settings()));
    form_->Reset1->trigger();
    QTRY_VERIFY(lines_.contains("Accurate hardware mode"));
    form_->Button4Click();
    QCOMPARE(lines_.count("Accurate hardware mode"), 1);  // the first run kept its mode
    QVERIFY(AccurateHardware);

    form_.reset();
    form_ = std::make_unique<TMainForm>(*dialogs_, Settings());
    QVERIFY(form_->AccurateHardware1->isChecked());
    form_->AccurateHardware1->trigger();
    QVERIFY(!ReadAccurateHardware(Settings()));
  }

  // Whatever stops a run or lets it go on, the window says so, so that the controller is read
  // only while a run goes.
  void runGoingFollowsEveryWayARunStopsAndGoesOn() {
    QSignalSpy going(form_.get(), &TMainForm::RunGoingChanged);
    // Every change reported, and never a run going in passing while one ends.
    const auto says = [&](bool expected) {
      const bool all = std::all_of(going.begin(), going.end(), [&](const auto& signal) {
        return signal[0].toBool() == expected;
      });
      going.clear();
      return form_->RunGoing() == expected && all;
    };
    QVERIFY(!form_->RunGoing());
    const QString rom = WriteRom("idle.z64", IdleRom());
    Load(rom);
    form_->Start1->trigger();
    QVERIFY(says(true));
    form_->Pause1->trigger();
    QVERIFY(says(false));
    form_->Pause1->trigger();
    QVERIFY(says(true));
    form_->Pause1->trigger();
    QVERIFY(says(false));
    form_->UnloadROM1->trigger();  // closing a paused run
    QVERIFY(says(false));
    Load(rom);
    form_->StartPaused();
    QVERIFY(says(false));
    form_->Pause1->trigger();
    QVERIFY(says(true));
    Load(rom);  // a new load ends the run
    QVERIFY(says(false));
  }

  void statusAfterPause() {
    BindFastRenderer();
    Load(WriteRom("frames.z64", FramesRom()));
    form_->Start1->trigger();
    for (int pause = 0; pause < 6; ++pause) {
      QTRY_VERIFY(form_->SimpleText().startsWith("FPS = "));
      form_->Pause1->trigger();
      QTest::qWait(100);
      QCOMPARE(form_->SimpleText(), QString("Emulation Paused"));
      form_->Pause1->trigger();
    }
  }

  // A plug-in box holds the emulation thread inside InitRenderer. Close ROM waits for the thread,
  // and meanwhile the window goes on serving its events; the box is answered from one of them.
  void closeRomWhileAPlugInBoxIsOpen() {
    TRendererEntries entries;
    entries.InitRenderer = [](int32_t, int32_t, TWindowHandle, TWindowHandle) -> int32_t {
      boxOpen = true;
      const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      while (!boxAnswered && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      return 0;
    };
    BindBuiltInRenderer(entries);
    Load(WriteRom("frames.z64", FramesRom()));
    form_->Start1->trigger();
    QTRY_VERIFY(boxOpen);
    bool servedWhileWaiting = false;
    QTimer::singleShot(100, [&] {
      servedWhileWaiting = form_->Engine().Exists();
      boxAnswered = true;
    });
    form_->UnloadROM1->trigger();
    QVERIFY(servedWhileWaiting);
    QVERIFY(!form_->Engine().Exists());
    QVERIFY(!RomLoaded);
  }

  // Without a renderer the program says so once, and again in the status bar at Start.
  void missingRenderer() {
    form_->RendererUnavailable();
    form_->RendererUnavailable();
    QCOMPARE(dialogs_->errors.size(), 1);
    QVERIFY(dialogs_->errors[0].contains("Video/Vid_Prism.so"));
    Load(WriteRom("idle.z64", IdleRom()));
    form_->Start1->trigger();
    QCOMPARE(form_->SimpleText(), QString("No renderer plug-in: running without a picture"));
  }

  void saveSnapshot() {
    form_->SaveSnapshot1->trigger();  // cancelled
    QCOMPARE(dialogs_->saveTitle, QString("Save Snapshot"));
    QCOMPARE(dialogs_->saveFilter, QString("BMP (*.bmp)"));
    QCOMPARE(form_->SimpleText(), QString());

    const QString name = QString::fromStdString((dir_->Path() / "picture").string());
    dialogs_->answers.push_back(name);
    form_->SaveSnapshot1->trigger();
    QCOMPARE(form_->SimpleText(), "Snapshot " + name + " saved");
    QFile file(name);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.read(2), QByteArray("BM"));
    const QImage saved(name, "BMP");
    QCOMPARE(saved.size(), QSize(320, 259));
    QVERIFY(!QFile::exists(name + ".bmp"));

    const QString unwritable = QString::fromStdString((dir_->Path() / "no/such/dir.bmp").string());
    dialogs_->answers.push_back(unwritable);
    form_->SaveSnapshot1->trigger();
    QCOMPARE(dialogs_->errors.size(), 1);
    QVERIFY(dialogs_->errors[0].contains("no/such/dir.bmp"));
    QCOMPARE(form_->SimpleText(), "Snapshot " + name + " saved");

    // A FIFO that nobody reads is refused at once (opening it to write would wait for a reader)
    // and stays a FIFO.
    const std::string fifo = (dir_->Path() / "picture.fifo").string();
    QCOMPARE(mkfifo(fifo.c_str(), 0644), 0);
    dialogs_->answers.push_back(QString::fromStdString(fifo));
    form_->SaveSnapshot1->trigger();
    QCOMPARE(dialogs_->errors.size(), 2);
    QVERIFY2(dialogs_->errors[1].contains("No such device or address"),
             qPrintable(dialogs_->errors[1]));
    QVERIFY(std::filesystem::is_fifo(fifo));
  }

  void limitSpeedIsKeptAndTabFastForwards() {
    QVERIFY(form_->LimitSpeed1->isChecked());
    QVERIFY(form_->Engine().LimitSpeed());
    form_->LimitSpeed1->trigger();
    QVERIFY(!form_->Engine().LimitSpeed());
    QCOMPARE(QSettings(Settings(), QSettings::IniFormat).value("Options/LimitSpeed").toString(),
             QString("false"));
    {
      TMainForm second(*dialogs_, Settings());
      QVERIFY(!second.LimitSpeed1->isChecked());
      QVERIFY(!second.Engine().LimitSpeed());
    }
    form_->LimitSpeed1->trigger();
    QVERIFY(form_->Engine().LimitSpeed());

    // Tab held runs unlimited; released, the limit is back. Repeats of the held key change
    // nothing.
    form_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    QTest::keyPress(form_.get(), Qt::Key_Tab);
    QVERIFY(form_->FastForward());
    QVERIFY(!form_->Engine().LimitSpeed());
    QTest::keyRelease(form_.get(), Qt::Key_Tab);
    QVERIFY(!form_->FastForward());
    QVERIFY(form_->Engine().LimitSpeed());
  }

  // The speakers follow the run, the speed and Configuration's Sound (they need no device for
  // that: without one they stay silent anyway).
  void soundIsHeardWhileARunGoesAtSpeedWithSoundOn() {
    TSdlAudio audio;
    TConfigF config(form_->Engine(), Settings());
    FollowSound(audio, *form_, config);
    QVERIFY(!audio.Heard());
    Load(WriteRom("idle.z64", IdleRom()));
    form_->Start1->trigger();
    QVERIFY(audio.Heard());
    form_->Pause1->trigger();
    QVERIFY(!audio.Heard());
    form_->Pause1->trigger();
    QVERIFY(audio.Heard());
    form_->LimitSpeed1->trigger();
    QVERIFY(!audio.Heard());
    form_->LimitSpeed1->trigger();
    QVERIFY(audio.Heard());
    form_->SetFastForward(true);
    QVERIFY(!audio.Heard());
    form_->SetFastForward(false);
    QVERIFY(audio.Heard());
    config.Disabled->click();
    QVERIFY(!audio.Heard());
    config.Enabled->click();
    QVERIFY(audio.Heard());
    form_->UnloadROM1->trigger();
    QVERIFY(!audio.Heard());
  }

  // The audio test ROM in the accurate mode, played by the desktop program's speakers on SDL's
  // file-writing driver: its three waves arrive at the device's rate.
  void theAccurateMachinesSoundReachesTheSpeakers() {
    const std::string raw = (dir_->Path() / "speakers.raw").string();
    qputenv("SDL_AUDIODRIVER", "disk");
    qputenv("SDL_DISKAUDIOFILE", QByteArray::fromStdString(raw));
    qputenv("SDL_DISKAUDIODELAY", "10");
    {
      TSdlAudio audio;
      std::string reason;
      QVERIFY2(audio.Start(reason), reason.c_str());
      InstallAudioSink(&audio);
      TConfigF config(form_->Engine(), Settings());
      FollowSound(audio, *form_, config);
      form_->AccurateHardware1->setChecked(true);
      BindFastRenderer();
      Load(QStringLiteral(VANTOR_ROM_DIR "/audio_ntsc.z64"));
      form_->Start1->trigger();
      // Until the ROM has played its last buffer (its done mark), and the speakers all of it.
      const auto done = [this] {
        uint32_t mark = 0;
        form_->Engine().Inspect(
            [&mark] { std::memcpy(&mark, HostAddress(0x80000100 + 4 * 26), 4); });
        return mark == 0x600D;
      };
      QTRY_VERIFY_WITH_TIMEOUT(done(), 20000);
      QTRY_VERIFY_WITH_TIMEOUT(audio.QueuedFrames() == 0, 5000);
      QTest::qWait(100);
      form_->Button4Click();
      InstallAudioSink(nullptr);
      form_->AccurateHardware1->setChecked(false);
    }
    QFile file(QString::fromStdString(raw));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    std::vector<int16_t> out(static_cast<size_t>(bytes.size()) / 2);
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
    // Sound in runs: a slow machine may starve the speakers between the ROM's buffers.
    size_t sounding = 0;
    size_t runs = 0;
    size_t silent = 8;
    std::map<std::pair<int, int>, int> plateaus;
    for (size_t frame = 0; frame + 1 < out.size() / 2; ++frame) {
      const bool sound = out[2 * frame] != 0 || out[2 * frame + 1] != 0;
      sounding += sound ? 1 : 0;
      if (sound && silent >= 8) ++runs;
      silent = sound ? 0 : silent + 1;
      ++plateaus[{out[2 * frame], out[2 * frame + 1]}];
    }
    // 1792 frames at 44096 a second are 1951 at 48000, and the fade at the end of each run holds
    // its last frame for 64 more.
    QVERIFY2(sounding > 1951 - 60 && sounding < 1951 + 64 * runs + 60,
             qPrintable(QString("%1 in %2 runs").arg(sounding).arg(runs)));
    for (const auto& level : std::vector<std::pair<int, int>>{
             {8000, 4000}, {-8000, -4000}, {12000, -3000}, {-12000, 3000}})
      QVERIFY2(plateaus[level] > 30, qPrintable(QString::number(level.first)));
  }

  void saveAndLoadStatesThroughTheSlots() {
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir_->Path().string()));
    BindFastRenderer();
    Load(WriteRom("idle.z64", IdleRom("STATE ROM")));
    QVERIFY(!form_->SaveState1->isEnabled());
    QVERIFY(form_->LoadState1->isEnabled());
    form_->LoadState1->trigger();
    QCOMPARE(form_->SimpleText(), QString("Slot 0 holds no state of this ROM"));
    QVERIFY(!form_->Engine().Exists());

    form_->Start1->trigger();
    QVERIFY(form_->SaveState1->isEnabled());
    form_->Slots[3]->trigger();
    QCOMPARE(form_->StateSlot(), 3);
    form_->SaveState1->trigger();
    QCOMPARE(form_->SimpleText(), QString("State saved to slot 3"));
    const QDir states(QString::fromStdString(dir_->Path().string()) + "/Vantor64/states");
    const QStringList files = states.entryList(QDir::Files);
    QCOMPARE(files.size(), 1);
    QVERIFY2(QRegularExpression("^STATE_ROM-[0-9a-f]{16}\\.st3$").match(files[0]).hasMatch(),
             qPrintable(files[0]));

    // An empty slot while the ROM runs: the frame rate soon covers the status text, the
    // console keeps the message.
    form_->Slots[5]->trigger();
    form_->LoadState1->trigger();
    QCOMPARE(form_->StatusBar1->currentMessage(), QString("Slot 5 holds no state of this ROM"));
    QTRY_VERIFY(lines_.contains("Slot 5 holds no state of this ROM"));
    form_->Slots[3]->trigger();

    // Saved under a name without an extension, the state gets the states' own, which Load
    // State From lists; a file of that name is replaced only when the user says so.
    const QString named = QString::fromStdString((dir_->Path() / "mine").string());
    dialogs_->answers.push_back(named);
    form_->SaveStateAs1->trigger();
    QCOMPARE(dialogs_->saveTitle, QString("Save State As"));
    QVERIFY(!QFile::exists(named));
    QVERIFY(QFile::exists(named + ".st"));
    QVERIFY(QDir(QString::fromStdString(dir_->Path().string()))
                .entryList({"*.st*"}, QDir::Files)
                .contains("mine.st"));
    const QDateTime first = QFileInfo(named + ".st").lastModified();
    dialogs_->answerYes = false;
    dialogs_->answers.push_back(named + ".");
    form_->SaveStateAs1->trigger();
    QCOMPARE(dialogs_->questions.size(), 1);
    QVERIFY2(dialogs_->questions[0].contains("mine.st already exists"),
             qPrintable(dialogs_->questions[0]));
    QCOMPARE(QFileInfo(named + ".st").lastModified(), first);
    QVERIFY(!QFile::exists(named + "."));
    dialogs_->answerYes = true;

    form_->Pause1->trigger();
    form_->LoadState1->trigger();
    QCOMPARE(form_->SimpleText(), QString("State loaded from slot 3"));
    QVERIFY(form_->Engine().Paused());

    // A damaged file is refused with a box; the run goes on untouched.
    const QString damaged = WriteRom("damaged.st", {'V', '6', '4', 'S', 'T', 'A', 'T', 'E', 1});
    dialogs_->answers.push_back(damaged);
    form_->LoadStateFrom1->trigger();
    QCOMPARE(dialogs_->errors.size(), 1);
    QVERIFY2(dialogs_->errors[0].contains("truncated"), qPrintable(dialogs_->errors[0]));
    QVERIFY(form_->Engine().Exists());
    QVERIFY(form_->Engine().Paused());

    // Without a run, loading a state starts one from it.
    form_->Button4Click();
    form_->LoadState1->trigger();
    QVERIFY(form_->Engine().Exists());
    QCOMPARE(form_->SimpleText(), QString("State loaded from slot 3"));
    form_->Button4Click();
    qunsetenv("XDG_DATA_HOME");
  }

  // Load State From, Save State As and the slots read and write states as the runner does: what
  // is no regular file is refused without waiting and never replaced, and a state is checked
  // whole before any of it is inflated.
  void hostileStateFilesThroughTheMenus() {
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir_->Path().string()));
    BindFastRenderer();
    Load(WriteRom("idle.z64", IdleRom("HOSTILE")));
    form_->Start1->trigger();
    form_->Pause1->trigger();
    const QString folder = QString::fromStdString(dir_->Path().string()) + "/Vantor64/states";
    QVERIFY(QDir().mkpath(folder));
    const QString good = folder + "/good.st";
    dialogs_->answers.push_back(good);
    form_->SaveStateAs1->trigger();
    QVERIFY2(dialogs_->errors.isEmpty(), qPrintable(dialogs_->errors.join('\n')));

    // The state with one of its sections given twice.
    QFile file(good);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    std::string error;
    const auto stored = ParseState(
        std::span(reinterpret_cast<const uint8_t*>(bytes.data()), size_t(bytes.size())), error);
    QVERIFY2(stored, error.c_str());
    TStateImage twice;
    twice.Identity = stored->Identity;
    for (const TStoredSection& section : stored->Sections) {
      twice.Sections.push_back({section.Name, section.Version, {}});
      QVERIFY(InflateSection(section, twice.Sections.back().Data, error));
    }
    twice.Sections.push_back(*twice.Find("tlb"));
    const std::vector<uint8_t> twiceBytes = EncodeState(twice);
    const QString twicePath = WriteRom("twice.st", twiceBytes);

    test::FifoRescue fifo((dir_->Path() / "pipe.st").string());
    const QString pipe = QString::fromStdString(fifo.Path());
    const struct {
      QString path;
      const char* reason;
    } loads[] = {{folder, "Is a directory"},
                 {pipe, "it is not a regular file"},
                 {twicePath, "section tlb is given twice"}};
    for (const auto& [path, reason] : loads) {
      dialogs_->errors.clear();
      dialogs_->answers.push_back(path);
      form_->LoadStateFrom1->trigger();
      QCOMPARE(dialogs_->errors.size(), 1);
      QVERIFY2(dialogs_->errors[0].contains(reason), qPrintable(dialogs_->errors[0]));
      QVERIFY(form_->Engine().Paused());
    }

    // Saving onto the FIFO, into a slot that is one, and onto a folder.
    const QString slot = folder + '/' + SlotFileName(LoadedRomIdentity(), 5);
    test::FifoRescue slotFifo(slot.toStdString());
    form_->Slots[5]->trigger();
    const struct {
      std::function<void()> save;
      const char* reason;
    } saves[] = {{[&] { form_->SaveState1->trigger(); }, "No such device or address"},
                 {[&] {
                    dialogs_->answers.push_back(pipe);
                    form_->SaveStateAs1->trigger();
                  },
                  "No such device or address"},
                 {[&] {
                    dialogs_->answers.push_back(folder);
                    form_->SaveStateAs1->trigger();
                  },
                  "Is a directory"}};
    for (const auto& [save, reason] : saves) {
      dialogs_->errors.clear();
      save();
      QCOMPARE(dialogs_->errors.size(), 1);
      QVERIFY2(dialogs_->errors[0].contains(reason), qPrintable(dialogs_->errors[0]));
    }
    QVERIFY(!fifo.Rescued() && !slotFifo.Rescued());
    QVERIFY(std::filesystem::is_fifo(slot.toStdString()));
    QVERIFY(std::filesystem::is_fifo(fifo.Path()));
    form_->Button4Click();
    qunsetenv("XDG_DATA_HOME");
  }

  void windowsOpenedByCommands() {
    QWidget console, credits, config;
    form_->SetDebugConsole(&console);
    form_->SetCredits(&credits);
    form_->ViewDebugger1->trigger();
    QVERIFY(console.isVisible());
    form_->VantorTeam1->trigger();
    QVERIFY(credits.isVisible());
    QVERIFY(!form_->Configuration1->isEnabled());
    form_->SetConfiguration(&config);
    form_->Configuration1->trigger();
    QVERIFY(config.isVisible());

    // Windows open over the main window, wherever they were before, and stay on its screen.
    form_->move(300, 200);
    const QPoint middle = form_->frameGeometry().center();
    for (QWidget* window : {&credits, &config}) {
      window->hide();
      window->setGeometry(0, 0, 200, 100);
    }
    form_->VantorTeam1->trigger();
    form_->Configuration1->trigger();
    for (QWidget* window : {&credits, &config})
      QVERIFY((window->frameGeometry().center() - middle).manhattanLength() <= 2);
    config.hide();
    form_->move(form_->screen()->availableGeometry().bottomRight() - QPoint(50, 50));
    form_->Configuration1->trigger();
    QVERIFY(form_->screen()->availableGeometry().contains(config.frameGeometry()));
  }

  // A file dialog shows its size, type and date columns whole, the name taking the rest.
  void fileDialogsHaveRoomForTheirColumns() {
    QFileDialog dialog(nullptr, "Save State As", QString::fromStdString(dir_->Path().string()));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setViewMode(QFileDialog::Detail);
    WriteRom("a rather long name for a state file.st1", IdleRom());
    FitFileDialog(dialog);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto* details = dialog.findChild<QTreeView*>();
    QVERIFY(details != nullptr);
    QHeaderView* header = details->header();
    QTRY_VERIFY(details->model()->rowCount(details->rootIndex()) > 0);
    QApplication::processEvents();
    const QModelIndex first = details->model()->index(0, 0, details->rootIndex());
    for (int column = 1; column < header->count(); ++column) {
      const QString text = first.siblingAtColumn(column).data().toString();
      QVERIFY2(header->sectionSize(column) > details->fontMetrics().horizontalAdvance(text),
               qPrintable(text));
    }
    QVERIFY(header->sectionSize(0) >= 200);
    dialog.close();
  }
};

QTEST_MAIN(MainFormTest)
#include "MainFormTest.moc"
