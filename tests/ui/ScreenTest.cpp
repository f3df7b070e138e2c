// What reaches the screen, under Xvfb at depth 24 with the real plug-in: the running ROM's
// picture in the drawing area, Save Snapshot of it, and the start-up picture before and after.
#include <QFile>
#include <QProcess>
#include <QScreen>
#include <QTest>

#include "common/Host.h"
#include "memory/AddressMap.h"
#include "memory/RomImage.h"
#include "memory/VideoInterface.h"
#include "pixels/XLaters.h"
#include "tests/support/TempDir.h"
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

}  // namespace

class ScreenTest : public QObject {
  Q_OBJECT

  test::TempDir dir_;
  test::TTestDialogs dialogs_;
  std::unique_ptr<TQtHost> host_;
  std::unique_ptr<TMainForm> form_;
  QStringList lines_;

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
    host_ = std::make_unique<TQtHost>(dialogs_);
    host_->SetLineSink([this](const QStringList& lines) { lines_ << lines; });
    InstallHost(host_.get());
    QVERIFY(CreateMemoryBlocks());
    QVERIFY(BindRenderer(QCoreApplication::applicationDirPath().toStdString()));
    form_ = std::make_unique<TMainForm>(dialogs_,
                                        dir_.Path().string().c_str() + QString("/Vantor64.ini"));
    host_->SetStatusSink([this](const QString& text) { form_->SetSimpleText(text); });
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    SetRendererWindows(form_->winId(), form_->winId());
  }

  void cleanupTestCase() {
    form_->Button4Click();
    ReleaseRenderer();
    form_.reset();
    InstallHost(nullptr);
    UnloadRomImage();
  }

  void startupPictureIsShown() {
    QTRY_VERIFY(MeanDifference(DrawingArea(), form_->StartupPicture()) < 2);
  }

  void runningRomFillsTheDrawingArea() {
    // The runner's picture of the same frame, scaled as the renderer scales it.
    const QString reference = QString::fromStdString((dir_.Path() / "reference.png").string());
    QProcess runner;
    runner.start(VANTOR_CLI, {"--frames", "3", "--snapshot", reference, kRom});
    QVERIFY(runner.waitForFinished(30000));
    QCOMPARE(runner.exitCode(), 0);
    const QImage frame(reference);
    QCOMPARE(frame.size(), QSize(320, 240));

    form_->N640x2401->trigger();
    QTRY_COMPARE(form_->PaintBox1->size(), QSize(640, 480));
    form_->LoadRomFile(kRom);
    form_->Button3Click();
    QTRY_VERIFY(RendererReady);
    const QImage expected = frame.scaled(640, 480, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    // Bars scaled by two: only the filter's seams at the edges may differ.
    QTRY_VERIFY_WITH_TIMEOUT(MeanDifference(DrawingArea(), expected) < 3, 10000);
    QVERIFY(form_->SimpleText().startsWith("FPS = "));

    // Save Snapshot: the same picture, under exactly the chosen name.
    const QString name = QString::fromStdString((dir_.Path() / "snapshot").string());
    dialogs_.answers << name;
    form_->SaveSnapshot1->trigger();
    QCOMPARE(form_->SimpleText(), "Snapshot " + name + " saved");
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
    QTRY_VERIFY_WITH_TIMEOUT(MeanDifference(DrawingArea(), expected) < 3, 5000);

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

    // While paused the frame buffer stands still: convert it as the plug-in does.
    QImage frame(320, 240, QImage::Format_RGB32);
    const uint32_t origin = VIOrigin() | 0x80000000;
    for (int row = 0; row < 240; ++row)
      XLatePixels(XLater32Info, HostAddress(origin), size_t(row) * 320, 320, frame.scanLine(row));
    QTRY_VERIFY_WITH_TIMEOUT(MeanDifference(DrawingArea(), frame) < 1, 5000);
    form_->UnloadROM1->trigger();
  }
};

QTEST_MAIN(ScreenTest)
#include "ScreenTest.moc"
