// The main window's commands: loading, running and closing ROMs, snapshots and the other windows.
#include <unistd.h>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <string_view>

#include "common/DebugLog.h"
#include "common/FileAccess.h"
#include "common/Host.h"
#include "debugger/DebugForm.h"
#include "memory/RomImage.h"
#include "ui/Dialogs.h"
#include "ui/MainForm.h"
#include "ui/QtHost.h"
#include "ui/Settings.h"
#include "video/RendererHost.h"

namespace vantor::ui {

namespace {

// Every extension a ROM image comes with; the loader itself reads any file.
constexpr const char* kRomFilter =
    "N64 ROMS (*.v64, *.z64, *.n64, *.BIN)|*.v64;*.z64;*.n64;*.bin|All files (*.*)|*.*";
constexpr const char* kSnapshotFilter = "BMP|*.bmp";

constexpr const char* kNoRendererMessage =
    "The renderer plug-in Video/Vid_Prism.so could not be loaded, so no picture can be shown. "
    "Vantor64 runs without it; the debug console (Options, View Debugger) says why.";
constexpr const char* kNoRendererStatus = "No renderer plug-in: running without a picture";

// The name as the window system shows a caption: up to the first zero character, with bytes
// that have no printable character shown as question marks.
QString CaptionText(const QByteArray& name) {
  const qsizetype end = name.indexOf('\0');
  QString text = QString::fromLatin1(end < 0 ? name : name.left(end));
  for (QChar& c : text)
    if (!c.isPrint()) c = u'?';
  return text;
}

// Serves the main thread's events apart from user input until done() holds or the time is up.
template <typename Predicate>
void ServeUntil(Predicate done, int milliseconds) {
  const QDeadlineTimer deadline(milliseconds);
  while (!done() && !deadline.hasExpired())
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 5);
}

// A country or maker field from its code: the name ROM loading reports, "Unknown" for code 0, and
// for a code without a name the field stays as the last ROM left it.
void ReadCodeName(QString& field, uint8_t code, std::string_view name) {
  if (code == 0)
    field = QStringLiteral("Unknown");
  else if (name != kNoName)
    field = QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

}  // namespace

void TMainForm::Button1Click() {
  const auto file = dialogs_.ChooseOpenFile(this, QStringLiteral("Load N64 ROM Image"),
                                            ReadRomDir(settingsFile_), QtFileFilter(kRomFilter));
  if (!file || file->isEmpty()) return;
  WriteRomDir(settingsFile_, QFileInfo(*file).absolutePath() + '/');
  LoadRom(*file);
}

void TMainForm::LoadRomFile(const QString& path) {
  LoadRom(path);
}

void TMainForm::SetStatus(const QString& text) {
  if (CurrentHost() != nullptr)
    SetStatusText(text.toUtf8().toStdString());
  else
    SetSimpleText(text);
}

void TMainForm::RendererUnavailable() {
  if (rendererMissing_) return;
  rendererMissing_ = true;
  dialogs_.ShowError(this, QString::fromLatin1(kNoRendererMessage));
}

void TMainForm::WhenPlaced(std::function<void()> work, QDeadlineTimer placed) {
  const QWindow* window = windowHandle();
  if (isVisible() && window != nullptr && !window->isExposed() && !placed.hasExpired()) {
    QTimer::singleShot(10, this, [this, work, placed] { WhenPlaced(work, placed); });
    return;
  }
  work();
}

void TMainForm::LoadRom(const QString& path) {
  // The running machine's page tables point into the image about to be replaced.
  if (engine_.Exists()) {
    Button4Click();
    ShowRunEnded();
  }
  // Rom Info describes a loaded ROM only.
  ROMInfo1->setEnabled(false);
  const bool loaded = LoadRomImage(QFile::encodeName(path).toStdString());
  // The old image is gone whatever happens next, and so is its picture.
  for (QAction* item : {UnloadROM1, Start1})
    item->setEnabled(false);
  UpdateStateItems();
  PaintBox1->Clear();

  RomStream.clear();
  SetStatus(QStringLiteral("Loading..."));
  if (!ReadRomStream(path)) {
    // Nothing is loaded any more, the previous ROM included.
    setWindowTitle(kMainCaption);
    ShowStartupPicture(true);
    return;
  }
  RomFacts = ReadRomFacts(RomStream);
  SetStatus(QStringLiteral("Loaded ") + path);
  DbgAddLine("MMkay!");
  update();

  bool unsupported = false;
  switch (RomStream.empty() ? -1 : RomStream[0]) {
    case 0x37:
      ByteSwap(RomStream);
      break;
    case 0x40:
      WordSwap(RomStream);
      break;
    case 0x80:
      break;
    default:
      unsupported = true;
      SetStatus(QStringLiteral("Unsupported Rom Format!"));
  }
  // A file shorter than the header leaves the rest of it zero.
  RomHeaderBuf.fill(0);
  std::copy_n(RomStream.begin(), std::min(RomStream.size(), RomHeaderBuf.size()),
              RomHeaderBuf.begin());
  LongSwap(RomStream);

  RomName = QByteArray(reinterpret_cast<const char*>(RomHeaderBuf.data()) + 32, 20);
  setWindowTitle(QString::fromLatin1(kMainCaption) + QStringLiteral(" - ") + CaptionText(RomName));
  ReadCodeName(RomCountry, RomHeaderBuf[62], CountryName(RomHeaderBuf[62]));
  ReadCodeName(RomMaker, RomHeaderBuf[59], MakerName(RomHeaderBuf[59]));
  if (!loaded) {
    // A refused file with no name to show leaves the caption of no ROM, not a bare " - ".
    if (CaptionText(RomName).trimmed().isEmpty()) setWindowTitle(kMainCaption);
    ShowLoadFailed(path, unsupported);
    return;
  }
  UnloadROM1->setEnabled(true);
  ROMInfo1->setEnabled(true);
  Start1->setEnabled(true);
  UpdateStateItems();
  ShowStartupPicture(false);
  emit RomOpened(path);
}

void TMainForm::ShowLoadFailed(const QString& path, bool unsupported) {
  const QString reason = CoreText(RomLoadError);
  SetStatus(unsupported ? QStringLiteral("Unsupported Rom Format!") : reason);
  ShowStartupPicture(true);
  QString text =
      QStringLiteral("Cannot load \"%1\": %2").arg(QDir::toNativeSeparators(path), reason);
  if (unsupported) text = QStringLiteral("Unsupported Rom Format!\n") + text;
  dialogs_.ShowError(this, text);
  if (unsupported) DbgAddLine("MMkay!");
}

bool TMainForm::ReadRomStream(const QString& path) {
  const auto fail = [&](const QString& text) {
    SetStatus(text);
    dialogs_.ShowError(this, text);
    return false;
  };
  // The image load's checks: a FIFO, a device or an oversized file is refused before any read.
  TReadableFile file(QFile::encodeName(path).toStdString(), TFileKind::Rom);
  if (!file.Ok())
    return fail(QStringLiteral("Cannot open file \"%1\". %2")
                    .arg(QDir::toNativeSeparators(path), CoreText(file.Error())));
  RomStream.resize(file.Size());
  if (!file.ReadAll(RomStream.data())) {
    RomStream.clear();
    return fail(QStringLiteral("Read error in \"%1\". %2").arg(path, CoreText(file.Error())));
  }
  return true;
}

void TMainForm::Button3Click() {
  StartRun(nullptr);
}

void TMainForm::StartRun(std::shared_ptr<const TStateImage> from) {
  if (engine_.Exists() || !RomLoaded) return;
  if (debugger_ != nullptr) debugger_->RunStarting();
  engine_.Start({}, false, std::move(from));
  UpdateStateItems();
  Start1->setEnabled(false);
  Reset1->setEnabled(true);
  Pause1->setEnabled(true);
  FullScreen1->setEnabled(true);
  if (engine_.AccurateHardwareNext()) SetStatus(QStringLiteral("Accurate Hardware"));
  if (rendererMissing_) SetStatus(QString::fromLatin1(kNoRendererStatus));
}

void TMainForm::AccurateHardware1Click(bool checked) {
  WriteAccurateHardware(settingsFile_, checked);
  engine_.SetAccurateHardware(checked);
}

void TMainForm::Button4Click() {
  engine_.Stop();
}

void TMainForm::ShowRunEnded() {
  Start1->setEnabled(RomLoaded);
  // Disabled first, so that the run never seems to go on between the two.
  Pause1->setEnabled(false);
  Pause1->setChecked(false);
  Reset1->setEnabled(false);
  if (!FullScreen1->isChecked()) FullScreen1->setEnabled(false);
  UpdateStateItems();
}

// Unloads a loaded ROM whether or not it runs.
void TMainForm::Button5Click() {
  if (!engine_.Exists() && !RomLoaded) return;
  if (FullScreen1->isChecked()) {
    FullScreen1->setChecked(false);
    LeaveFullScreen();
  }
  Button4Click();
  UnloadRomImage();
  PaintBox1->update();
  ShowStartupPicture(true);
  SetStatus(QStringLiteral("Rom Closing..."));
  BlockInput(kClosingBlockMs);
  SetStatus(QString());
  setWindowTitle(kMainCaption);
  ShowRunEnded();
  for (QAction* item : {UnloadROM1, ROMInfo1, Start1})
    item->setEnabled(false);
  UpdateStateItems();
}

void TMainForm::BlockInput(int milliseconds) {
  // Other events are still served, so the host keeps draining the queue; keys and clicks wait.
  QEventLoop loop;
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  loop.exec(QEventLoop::ExcludeUserInputEvents);
}

// The item's check mark has already changed when its handler runs.
void TMainForm::Pause1Click() {
  if (Pause1->isChecked()) {
    Start1->setEnabled(false);
    // Paused first: no frame rate of the running thread can follow the text.
    engine_.Pause();
    SetStatus(QStringLiteral("Emulation Paused"));
    return;
  }
  engine_.Resume();
  Button3Click();
}

void TMainForm::Reset1Click() {
  // Stop returns only after the old run's closing steps, so the new run starts on a quiet machine.
  Button4Click();
  Pause1->setChecked(false);
  if (!RomLoaded) {
    ShowRunEnded();
    return;
  }
  Button3Click();
}

void TMainForm::ForceRender1Click() {
  if (RendererReady) engine_.ForceRender();
}

void TMainForm::RepaintLastFrame() {
  PublishDrawingArea();
  // A running machine presents its next frame anyway.
  if (!engine_.Exists() || engine_.Paused()) ForceRender1Click();
}

void TMainForm::ViewDebugger1Click() {
  for (QWidget* window :
       {static_cast<QWidget*>(debugger_), static_cast<QWidget*>(regForm_), dbgWnd_}) {
    if (window == nullptr) continue;
    window->show();
    window->raise();
  }
}

void TMainForm::SetDebugger(TDebugger* debugger, TRegForm* regForm) {
  debugger_ = debugger;
  regForm_ = regForm;
  connect(debugger, &TDebugger::Stopped, this, &TMainForm::ShowDebugStop);
  connect(debugger, &TDebugger::Resumed, this, [this] {
    Pause1->setChecked(false);
    SetStatus(QString());
  });
}

void TMainForm::ShowDebugStop() {
  Pause1->setChecked(true);
  Start1->setEnabled(false);
  SetStatus(QStringLiteral("Emulation Paused"));
  // A held run presents no frames between its stops: an expose that came while it stepped would
  // leave the drawing area black.
  RepaintLastFrame();
}

void TMainForm::SetConfiguration(QWidget* config) {
  config_ = config;
  Configuration1->setEnabled(config != nullptr);
}

void TMainForm::Configuration1Click() {
  if (config_ != nullptr) ShowOver(config_, this);
}

void TMainForm::VantorTeam1Click() {
  if (credits_ != nullptr) ShowOver(credits_, this);
}

QImage TMainForm::GrabClientArea() {
  // The screen's pixels, so the plug-in's picture is in it; the menu bar is not client area.
  const int top = centralWidget()->y();
  const QRect area(0, top, width(), height() - top);
  QPixmap shot = screen()->grabWindow(winId(), area.x(), area.y(), area.width(), area.height());
  if (shot.isNull()) shot = grab(area);
  return shot.toImage();
}

void TMainForm::ShowPresentedFrame() {
  // The dialog has just closed, and the window system clears what it uncovers: let that happen
  // first, then draw a frame over it.
  BlockInput(kUncoverMs);
  if (!RendererReady) return;
  const uint32_t before = PresentedFrames();
  // A paused or ended run shows its last frame again; a running one presents its next.
  if (!engine_.Exists() || engine_.Paused()) ForceRender1Click();
  ServeUntil([&] { return PresentedFrames() != before; }, kFrameWaitMs);
  // The plug-in's requests travel on a connection of their own.
  BlockInput(kDrawMs);
}

void TMainForm::SaveSnapshot1Click() {
  const auto name =
      dialogs_.ChooseSaveFile(this, QStringLiteral("Save Snapshot"), QtFileFilter(kSnapshotFilter));
  if (!name || name->isEmpty()) return;
  ShowPresentedFrame();
  const QImage picture = GrabClientArea();
  // Opened as every output is: a FIFO that nobody reads or a device is refused, never waited on.
  std::string error;
  const int fd = OpenOutput(QFile::encodeName(*name).toStdString(), error);
  QFile file;
  if (fd < 0 || !file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
    if (fd >= 0) ::close(fd);
    dialogs_.ShowError(this, QStringLiteral("Cannot create file \"%1\". %2")
                                 .arg(QDir::toNativeSeparators(*name),
                                      fd < 0 ? QString::fromStdString(error) : file.errorString()));
    return;
  }
  if (!picture.save(&file, "BMP")) {
    dialogs_.ShowError(this, QStringLiteral("Cannot write file \"%1\". %2")
                                 .arg(QDir::toNativeSeparators(*name), file.errorString()));
    return;
  }
  const QString saved = QStringLiteral("Snapshot ") + *name + QStringLiteral(" saved");
  SetStatus(saved);
  // A running ROM's next frame rate replaces the simple text at once; this stays above it a while.
  StatusBar1->showMessage(saved, kSnapshotTextMs);
}

}  // namespace vantor::ui
