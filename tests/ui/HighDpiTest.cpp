// The main window on a screen with twice the pixel density (QT_SCALE_FACTOR=2 under Xvfb, with a
// window manager and the real plug-in): the window, its menus and dialogs at twice the size in
// device pixels, the start-up picture and the running ROM's picture filling the drawing area, and
// the debugger's windows with every text whole.
#include <QMenuBar>
#include <QProcess>
#include <QScreen>
#include <QTest>

#include "common/Host.h"
#include "debugger/DebugForm.h"
#include "debugger/MachineView.h"
#include "debugger/RegForm.h"
#include "memory/AddressMap.h"
#include "memory/RomImage.h"
#include "tests/support/TempDir.h"
#include "tests/ui/DebugLayout.h"
#include "tests/ui/Patience.h"
#include "tests/ui/TestDialogs.h"
#include "ui/MainForm.h"
#include "ui/QtHost.h"
#include "ui/RomInfoDialog.h"
#include "video/RendererHost.h"

using namespace vantor;
using namespace vantor::ui;

namespace {

const QString kRom = QStringLiteral(VANTOR_ROM_DIR "/screen_bars.z64");

double MeanDifference(const QImage& a, const QImage& b) {
  const QImage x = a.convertToFormat(QImage::Format_RGB32);
  const QImage y = b.convertToFormat(QImage::Format_RGB32);
  if (x.size() != y.size()) return 255;
  double sum = 0;
  for (int row = 0; row < x.height(); ++row)
    for (int col = 0; col < x.width(); ++col) {
      const QRgb p = x.pixel(col, row), q = y.pixel(col, row);
      sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
             std::abs(qBlue(p) - qBlue(q));
    }
  return sum / (3.0 * x.width() * x.height());
}

}  // namespace

class HighDpiTest : public QObject {
  Q_OBJECT

  test::TempDir dir_;
  test::TTestDialogs dialogs_;
  std::unique_ptr<TQtHost> host_;
  std::unique_ptr<TMainForm> form_;

  // The drawing area in device pixels, from the whole screen, where the renderer is told it is.
  QImage DrawingArea() {
    QApplication::processEvents();
    const qreal ratio = form_->devicePixelRatioF();
    const QPoint origin = form_->PaintBox1->mapToGlobal(QPoint(0, 0)) * ratio;
    const QSize size = form_->PaintBox1->size() * ratio;
    return form_->screen()->grabWindow(0).toImage().copy(QRect(origin, size));
  }

 private slots:
  void initTestCase() {
    QCOMPARE(QGuiApplication::platformName(), QString("xcb"));
    host_ = std::make_unique<TQtHost>(dialogs_);
    InstallHost(host_.get());
    QVERIFY(CreateMemoryBlocks());
    QVERIFY(BindRenderer(QCoreApplication::applicationDirPath().toStdString()));
    form_ = std::make_unique<TMainForm>(dialogs_,
                                        dir_.Path().string().c_str() + QString("/Vantor64.ini"));
    host_->SetStatusSink([this](const QString& text) { form_->SetSimpleText(text); });
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get(), test::kPatienceMs));
    SetRendererWindows(form_->winId(), form_->winId());
  }

  void cleanupTestCase() {
    form_->Button4Click();
    ReleaseRenderer();
    form_.reset();
    InstallHost(nullptr);
    UnloadRomImage();
  }

  void windowAndTextAreTwiceTheSize() {
    QCOMPARE(form_->devicePixelRatioF(), 2.0);
    // The layout is in the same units as on a plain screen; text grows with the ratio.
    QCOMPARE(form_->PaintBox1->size(), QSize(320, 240));
    QCOMPARE(form_->StatusBar1->height(), 19);
    const QImage grabbed = form_->grab().toImage();
    QCOMPARE(grabbed.size(), form_->size() * 2);
    QVERIFY(form_->MainMenu1->height() >= form_->MainMenu1->fontMetrics().height());

    // A dialog lays itself out for its text, in the same units.
    form_->LoadRomFile(kRom);
    form_->ROMInfo1->trigger();
    auto* info = form_->findChild<TRomInfoDialog*>();
    QVERIFY(info != nullptr);
    QVERIFY(QTest::qWaitForWindowExposed(info, test::kPatienceMs));
    QCOMPARE(info->grab().toImage().size(), info->size() * 2);
    QVERIFY(info->width() < 800);
    info->hide();
  }

  void picturesFillTheDrawingArea() {
    form_->UnloadROM1->trigger();
    form_->LoadRomFile(kRom);
    // Without a run the start-up picture is gone; Close ROM brings it back, scaled up.
    form_->Button3Click();
    form_->UnloadROM1->trigger();
    const QImage startup = form_->StartupPicture().scaled(640, 480);
    QTRY_VERIFY_WITH_TIMEOUT(MeanDifference(DrawingArea(), startup) < 8, test::kPatienceMs);

    // The runner's picture of the bars, scaled by two: the whole area in device pixels.
    const QString reference = QString::fromStdString((dir_.Path() / "reference.png").string());
    QProcess runner;
    runner.start(VANTOR_CLI, {"--frames", "3", "--snapshot", reference, kRom});
    QVERIFY(runner.waitForFinished(30000));
    const QImage bars = QImage(reference).scaled(640, 480);
    form_->LoadRomFile(kRom);
    form_->Button3Click();
    QTRY_VERIFY(RendererReady);
    QTRY_VERIFY_WITH_TIMEOUT(MeanDifference(DrawingArea(), bars) < 3, test::kPatienceMs);
    form_->Button4Click();
  }

  // The debugger's windows lay themselves out in the same units: every text whole, drawn at twice
  // the size.
  void debuggerWindowsShowEveryTextWhole() {
    TMachineView view(form_->Engine());
    TRegForm regs(view);
    TDebugger debugger(view, regs, nullptr);
    test::CheckDebugWindowsShowTextWhole(debugger, regs);
    QCOMPARE(debugger.grab().toImage().size(), debugger.size() * 2);
  }
};

QTEST_MAIN(HighDpiTest)
#include "HighDpiTest.moc"
