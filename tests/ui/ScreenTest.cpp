// What reaches the screen, under Xvfb at depth 24 with a window manager and the real plug-in: the
// running ROM's picture in the drawing area, in and out of full-screen mode, Save Snapshot of it
// after a dialog covered the window, and the start-up picture before and after.
#include <QFile>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <QWidget>

#include "common/Host.h"
#include "debugger/DbgWnd.h"
#include "debugger/DebugForm.h"
#include "debugger/RegForm.h"
#include "memory/AddressMap.h"
#include "memory/RomImage.h"
#include "memory/VideoInterface.h"
#include "pixels/XLaters.h"
#include "tests/support/TempDir.h"
#include "tests/ui/Patience.h"
#include "tests/ui/TestDialogs.h"
#include "ui/MainForm.h"
#include "ui/QtHost.h"
#include "video/RendererHost.h"

using namespace vantor;
using namespace vantor::ui;

namespace {

const QString kRom = QStringLiteral(VANTOR_ROM_DIR "/screen_bars.z64");
const QString kDemoRom = QStringLiteral(VANTOR_ROM_DIR "/demo.z64");

// Mean difference per colour channel, 0 to 255; the images must have the same size.
double MeanDifference(const QImage& a, const QImage& b) {
  const QImage x = a.convertToFormat(QImage::Format_RGB32);
  const QImage y = b.convertToFormat(QImage::Format_RGB32);
  double sum = 0;
  for (int row = 0; row < x.height(); ++row)
    for (int col = 0; col < x.width(); ++col) {
      const QRgb p = x.pixel(col, row), q = y.pixel(col, row);
      sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
             std::abs(qBlue(p) - qBlue(q));
    }
  return sum / (3.0 * x.width() * x.height());
}

QImage Black(QSize size) {
  QImage black(size, QImage::Format_RGB32);
  black.fill(Qt::black);
  return black;
}

// A save dialog as the desktop shows one: a window over the main window, gone again before the
// command goes on, leaving the window system to uncover what it hid.
class TCoveringDialogs : public test::TTestDialogs {
 public:
  std::optional<QString> ChooseSaveFile(QWidget* parent, const QString& title,
                                        const QString& filter) override {
    QWidget dialog(nullptr, Qt::Dialog);
    QPalette colours = dialog.palette();
    colours.setColor(QPalette::Window, Qt::white);
    dialog.setPalette(colours);
    dialog.setAutoFillBackground(true);
    dialog.setGeometry(QRect(parent->mapToGlobal(QPoint(20, 30)), QSize(260, 180)));
    dialog.show();
    if (QTest::qWaitForWindowExposed(&dialog, test::kPatienceMs)) QTest::qWait(200);
    dialog.hide();
    return TTestDialogs::ChooseSaveFile(parent, title, filter);
  }
};

}  // namespace

class ScreenTest : public QObject {
  Q_OBJECT

  test::TempDir dir_;
  TCoveringDialogs dialogs_;
  std::unique_ptr<TQtHost> host_;
  std::unique_ptr<TMainForm> form_;
  QStringList lines_;
  QImage bars_;       // the runner's picture of the screen_bars frame
  QString messages_;  // where the plug-in writes its messages
  std::unique_ptr<TDbgWnd> console_;
  std::unique_ptr<TMachineView> view_;
  std::unique_ptr<TRegForm> regs_;
  std::unique_ptr<TDebugger> debugger_;

  // The picture in the drawing area, within the tolerance of the renderer's scaling filter.
  bool ShowsBars() {
    const QImage area = DrawingArea();
    return MeanDifference(
               area, bars_.scaled(area.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation)) < 4;
  }
  // The paused machine's frame, converted from emulated memory as the plug-in converts it.
  static QImage FrameInMemory() {
    QImage frame(320, 240, QImage::Format_RGB32);
    const uint32_t origin = VIOrigin() | 0x80000000;
    for (int row = 0; row < 240; ++row)
      XLatePixels(XLater32Info, HostAddress(origin), size_t(row) * 320, 320, frame.scanLine(row));
    return frame;
  }

  // The drawing area as the screen shows it.
  QImage DrawingArea() {
    QApplication::processEvents();
    const QPoint origin = form_->PaintBox1->mapTo(form_.get(), QPoint(0, 0));
    const QSize size = form_->PaintBox1->size();
    return form_->screen()
        ->grabWindow(form_->winId(), origin.x(), origin.y(), size.width(), size.height())
        .toImage();
  }

 private slots:
  void initTestCase() {
    QCOMPARE(QGuiApplication::platformName(), QString("xcb"));
    messages_ = QString::fromStdString((dir_.Path() / "plugin-messages").string());
    qputenv("VID_PRISM_MESSAGE_FILE", QFile::encodeName(messages_));

    // The runner's picture of the bars frame, to compare with what the renderer scales.
    const QString reference = QString::fromStdString((dir_.Path() / "reference.png").string());
    QProcess runner;
    runner.start(VANTOR_CLI, {"--frames", "3", "--snapshot", reference, kRom});
    QVERIFY(runner.waitForFinished(30000));
    QCOMPARE(runner.exitCode(), 0);
    bars_ = QImage(reference);
    QCOMPARE(bars_.size(), QSize(320, 240));

    host_ = std::make_unique<TQtHost>(dialogs_);
    host_->SetLineSink([this](const QStringList& lines) { lines_ << lines; });
    InstallHost(host_.get());
    QVERIFY(CreateMemoryBlocks());
    QVERIFY(BindRenderer(QCoreApplication::applicationDirPath().toStdString()));
    form_ = std::make_unique<TMainForm>(dialogs_,
                                        dir_.Path().string().c_str() + QString("/Vantor64.ini"));
    // A run ended by cleanup may still deliver a status text while the form is being destroyed.
    host_->SetStatusSink([this](const QString& text) {
      if (form_) form_->SetSimpleText(text);
    });
    console_ = std::make_unique<TDbgWnd>();
    view_ = std::make_unique<TMachineView>(form_->Engine());
    regs_ = std::make_unique<TRegForm>(*view_);
    debugger_ = std::make_unique<TDebugger>(*view_, *regs_, console_.get());
    form_->SetDebugConsole(console_.get());
    form_->SetDebugger(debugger_.get(), regs_.get());
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get(), test::kPatienceMs));
    SetRendererWindows(form_->winId(), form_->winId());
  }

  void cleanupTestCase() {
    // No plug-in failure ("Error setting cooperative level!" and the like) in any test.
    QFile messages(messages_);
    QCOMPARE(
        messages.exists() && messages.open(QIODevice::ReadOnly) ? messages.readAll() : QByteArray(),
        QByteArray());
    form_->Button4Click();
    ReleaseRenderer();
    debugger_.reset();
    regs_.reset();
    view_.reset();
    console_.reset();
    form_.reset();
    InstallHost(nullptr);
    UnloadRomImage();
  }

  void startupPictureIsShown() {
    QTRY_VERIFY(MeanDifference(DrawingArea(), form_->StartupPicture()) < 2);
  }

  void runningRomFillsTheDrawingArea() {
    const QImage& frame = bars_;
    form_->N640x2401->trigger();
    QTRY_COMPARE(form_->PaintBox1->size(), QSize(640, 480));
    form_->LoadRomFile(kRom);
    form_->Button3Click();
    QTRY_VERIFY(RendererReady);
    const QImage expected = frame.scaled(640, 480, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    // Bars scaled by two: only the filter's seams at the edges may differ.
    QTRY_VERIFY_WITH_TIMEOUT(MeanDifference(DrawingArea(), expected) < 3, test::kPatienceMs);
    QVERIFY(form_->SimpleText().startsWith("FPS = "));

    // Save Snapshot: the same picture, not what the dialog left, under exactly the chosen name.
    const QString name = QString::fromStdString((dir_.Path() / "snapshot").string());
    dialogs_.answers << name;
    form_->SaveSnapshot1->trigger();
    QCOMPARE(form_->SimpleText(), "Snapshot " + name + " saved");
    // The running ROM's frame rates do not hide it at once.
    QTest::qWait(300);
    QVERIFY(form_->SimpleText().startsWith("FPS = "));
    QCOMPARE(form_->StatusBar1->currentMessage(), "Snapshot " + name + " saved");
    QFile file(name);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.read(2), QByteArray("BM"));
    const QImage saved(name, "BMP");
    QCOMPARE(saved.size(), QSize(640, 480 + TMainForm::kStatusHeight));
    QVERIFY(MeanDifference(saved.copy(0, 0, 640, 480), expected) < 3);

    // Paused, an exposed drawing area gets the last frame back through Force Render.
    form_->Pause1->trigger();
    QTRY_VERIFY(form_->Engine().Paused());
    form_->PaintBox1->hide();
    form_->PaintBox1->show();
    QTRY_VERIFY_WITH_TIMEOUT(MeanDifference(DrawingArea(), expected) < 3, test::kPatienceMs);

    // Close ROM brings the start-up picture back, stretched to the chosen size.
    form_->UnloadROM1->trigger();
    const QImage startup = form_->StartupPicture().scaled(640, 480);
    QTRY_VERIFY(MeanDifference(DrawingArea(), startup) < 6);
    QVERIFY(dialogs_.errors.isEmpty());
  }

  void pausedDemoShowsTheFrameInMemory() {
    form_->N320x2401->trigger();
    QTRY_COMPARE(form_->PaintBox1->size(), QSize(320, 240));
    form_->LoadRomFile(kDemoRom);
    form_->Button3Click();
    QTRY_VERIFY(RendererReady);
    QTest::qWait(300);  // let the animation run a while
    form_->Pause1->trigger();
    QTRY_VERIFY(form_->Engine().Paused());
    form_->ForceRender1->trigger();
    // While paused the frame buffer stands still.
    const QImage frame = FrameInMemory();
    QTRY_VERIFY_WITH_TIMEOUT(MeanDifference(DrawingArea(), frame) < 1, test::kPatienceMs);

    // A snapshot after the dialog closed holds that frame, and its text stays.
    const QString name = QString::fromStdString((dir_.Path() / "paused.bmp").string());
    dialogs_.answers << name;
    form_->SaveSnapshot1->trigger();
    const QImage saved(name, "BMP");
    QCOMPARE(saved.size(), QSize(320, 240 + TMainForm::kStatusHeight));
    QVERIFY(MeanDifference(saved.copy(0, 0, 320, 240), frame) < 1);
    QTest::qWait(200);
    QCOMPARE(form_->SimpleText(), "Snapshot " + name + " saved");
    form_->UnloadROM1->trigger();
  }

  // View Debugger over the paused demo: the three windows, with the disassembly around PC and the
  // registers drawn legibly in red on black.
  void debuggerWindowsOverThePausedDemo() {
    form_->LoadRomFile(kDemoRom);
    form_->Button3Click();
    QTRY_VERIFY(RendererReady);
    form_->Pause1->trigger();
    QTRY_VERIFY(form_->Engine().Paused());
    form_->ViewDebugger1->trigger();
    for (QWidget* window :
         {static_cast<QWidget*>(debugger_.get()), static_cast<QWidget*>(regs_.get()),
          static_cast<QWidget*>(console_.get())})
      QVERIFY(QTest::qWaitForWindowExposed(window, test::kPatienceMs));
    debugger_->raise();
    debugger_->ScrollBar1->triggerAction(QAbstractSlider::SliderToMinimum);  // centre on PC
    const TTextView& view = *debugger_->Disassembly;
    const TTextPage& page = view.Page();
    QVERIFY(std::find(page.begin(), page.end(), TTextItem{0, 160, "->"}) != page.end());
    QTest::qWait(300);
    // A row of a view, in its window's coordinates.
    const auto row = [](const TTextView& in, QWidget* window, int line) {
      return QRect(in.mapTo(window, QPoint(0, in.RowTop(line))), QSize(in.width(), in.RowHeight()));
    };

    // Red text on black on the arrow's line, and on the register viewer's PC line.
    const auto redPixels = [](QWidget* widget, QRect area) {
      const QImage shot =
          widget->screen()
              ->grabWindow(widget->winId(), area.x(), area.y(), area.width(), area.height())
              .toImage();
      int red = 0, other = 0;
      for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) {
          const QRgb p = shot.pixel(x, y);
          if (qRed(p) > 150 && qGreen(p) < 90 && qBlue(p) < 90)
            ++red;
          else if (qGreen(p) > 90 || qBlue(p) > 90)
            ++other;
        }
      return std::pair{red, other};
    };
    const auto [arrowRed, arrowOther] = redPixels(debugger_.get(), row(view, debugger_.get(), 16));
    QVERIFY2(arrowRed > 60, std::to_string(arrowRed).c_str());
    QCOMPARE(arrowOther, 0);
    regs_->move(0, 0);  // all of it on the screen
    regs_->raise();
    QTest::qWait(300);
    const auto [pcRed, pcOther] = redPixels(regs_.get(), row(*regs_->PaintBox1, regs_.get(), 32));
    QVERIFY2(pcRed > 60, std::to_string(pcRed).c_str());
    QCOMPARE(pcOther, 0);

    debugger_->Button4Click();
    form_->UnloadROM1->trigger();
  }

  // While the debugger holds the run, what another window uncovers of the drawing area shows the
  // last frame again.
  void theHeldRunsFrameComesBackWhereUncovered() {
    form_->N320x2401->trigger();
    QTRY_COMPARE(form_->PaintBox1->size(), QSize(320, 240));
    form_->LoadRomFile(kRom);
    form_->Button3Click();
    QTRY_VERIFY_WITH_TIMEOUT(ShowsBars(), test::kPatienceMs);
    form_->ViewDebugger1->trigger();  // stops the run at its next instruction
    QTRY_VERIFY(form_->Engine().Paused());
    QVERIFY(QTest::qWaitForWindowExposed(console_.get(), test::kPatienceMs));
    // The debugger's own windows beside the main window, the console over its drawing area.
    debugger_->move(form_->frameGeometry().bottomLeft() + QPoint(0, 40));
    regs_->move(form_->frameGeometry().topRight() + QPoint(40, 0));
    console_->move(form_->PaintBox1->mapToGlobal(QPoint(-20, -20)));
    console_->raise();
    QTRY_VERIFY(!ShowsBars());
    console_->move(form_->frameGeometry().right() + 40, form_->y());
    QTRY_VERIFY_WITH_TIMEOUT(ShowsBars(), test::kPatienceMs);
    // What the window system cleared while a step ran comes back at the stop that ends it.
    form_->PaintBox1->Clear();
    QTRY_VERIFY(!ShowsBars());
    debugger_->Step->click();
    QTRY_VERIFY_WITH_TIMEOUT(ShowsBars(), test::kPatienceMs);
    debugger_->Button4Click();
    form_->UnloadROM1->trigger();
  }

  // The window manager makes the window fill the screen and gives it back: the picture follows,
  // scaled as large as the screen allows in its own shape, with black borders, on this run and
  // on the next.
  void fullScreenTwiceKeepsThePicture() {
    form_->N320x2401->trigger();
    QTRY_COMPARE(form_->PaintBox1->size(), QSize(320, 240));
    form_->LoadRomFile(kRom);
    form_->Button3Click();
    QTRY_VERIFY_WITH_TIMEOUT(ShowsBars(), test::kPatienceMs);
    const QRect normal = form_->geometry();
    const QRect screen = form_->screen()->geometry();
    for (int round = 0; round < 2; ++round) {
      form_->FullScreen1->trigger();
      QTRY_COMPARE(form_->geometry(), screen);
      const QWidget* client = form_->centralWidget();
      QTRY_COMPARE(form_->PaintBox1->geometry(), FullScreenPictureRect(client->size()));
      QVERIFY(form_->PaintBox1->width() < screen.width());  // the menu bar takes some height
      QTRY_VERIFY_WITH_TIMEOUT(ShowsBars(), test::kPatienceMs);
      const QPoint at = client->mapTo(form_.get(), QPoint(0, 0));
      const QImage border =
          form_->screen()
              ->grabWindow(form_->winId(), at.x(), at.y(), form_->PaintBox1->x(), client->height())
              .toImage();
      QVERIFY(MeanDifference(border, Black(border.size())) < 1);
      form_->FullScreen1->trigger();
      QTRY_COMPARE(form_->geometry(), normal);
      QTRY_VERIFY_WITH_TIMEOUT(ShowsBars(), test::kPatienceMs);
      QVERIFY(form_->SimpleText().startsWith("FPS = "));
    }
    form_->Reset1->trigger();
    QTRY_VERIFY(RendererReady);
    QTRY_VERIFY_WITH_TIMEOUT(ShowsBars(), test::kPatienceMs);
  }

  // The last ROM's picture goes when another is loaded; the new run has drawn nothing yet.
  void aNewRomStartsOnABlackArea() {
    form_->N320x2401->trigger();
    form_->LoadRomFile(kRom);
    form_->Button3Click();
    QTRY_VERIFY_WITH_TIMEOUT(ShowsBars(), test::kPatienceMs);
    form_->LoadRomFile(kDemoRom);
    QTRY_VERIFY_WITH_TIMEOUT(MeanDifference(DrawingArea(), Black(QSize(320, 240))) < 1,
                             test::kPatienceMs);
    // A window over it and gone again leaves no part of the old picture behind.
    QWidget cover(nullptr, Qt::Dialog);
    cover.setGeometry(QRect(form_->PaintBox1->mapToGlobal(QPoint(10, 10)), QSize(100, 80)));
    cover.show();
    QVERIFY(QTest::qWaitForWindowExposed(&cover, test::kPatienceMs));
    cover.hide();
    QTest::qWait(200);
    QVERIFY(MeanDifference(DrawingArea(), Black(QSize(320, 240))) < 1);
    form_->UnloadROM1->trigger();
  }
};

QTEST_MAIN(ScreenTest)
#include "ScreenTest.moc"
