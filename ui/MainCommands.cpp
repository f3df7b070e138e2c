// The main window's commands: loading, running and closing ROMs, snapshots and the other windows.
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QScreen>
#include <QTimer>
#include <algorithm>

#include "debugger/DebugLog.h"
#include "memory/RomFile.h"
#include "memory/RomImage.h"
#include "ui/Dialogs.h"
#include "ui/MainForm.h"
#include "ui/QtHost.h"
#include "ui/Settings.h"
#include "video/RendererHost.h"

namespace vantor::ui {

namespace {

constexpr const char* kRomFilter =
    "N64 ROMS (*.v64, *.z64, *.BIN)|*.v64;*.z64;*.bin|All files (*.*)|*.*";
constexpr const char* kSnapshotFilter = "BMP|*.bmp";

// The name as the window system shows a caption: up to the first zero character.
QString CaptionText(const QByteArray& name) {
  const qsizetype end = name.indexOf('\0');
  return QString::fromLatin1(end < 0 ? name : name.left(end));
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

void TMainForm::LoadRom(const QString& path) {
  // The running machine's page tables point into the image about to be replaced.
  if (engine_.Exists()) {
    Button4Click();
    ShowRunEnded();
  }
  ROMInfo1->setEnabled(true);
  LoadRomImage(QFile::encodeName(path).toStdString());

  RomStream.clear();
  SetSimpleText(QStringLiteral("Loading..."));
  if (!ReadRomStream(path)) return;
  SetSimpleText(QStringLiteral("Loaded ") + path);
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
      SetSimpleText(QStringLiteral("Unsupported Rom Format!"));
  }
  // A file shorter than the header leaves the rest of it zero.
  RomHeaderBuf.fill(0);
  std::copy_n(RomStream.begin(), std::min(RomStream.size(), RomHeaderBuf.size()),
              RomHeaderBuf.begin());
  LongSwap(RomStream);

  RomName = QByteArray(reinterpret_cast<const char*>(RomHeaderBuf.data()) + 32, 20);
  setWindowTitle(QString::fromLatin1(kMainCaption) + QStringLiteral(" - ") + CaptionText(RomName));
  switch (RomHeaderBuf[62]) {
    case 'E':
      RomCountry = QStringLiteral("USA");
      break;
    case 'D':
      RomCountry = QStringLiteral("Germany");
      break;
    case 'J':
      RomCountry = QStringLiteral("Japan");
      break;
    case 'P':
      RomCountry = QStringLiteral("Europe");
      break;
    case 'U':
      RomCountry = QStringLiteral("Australia");
      break;
    case 0:
      RomCountry = QStringLiteral("Unknown");
      break;
    default:
      break;
  }
  switch (RomHeaderBuf[59]) {
    case 'N':
      RomMaker = QStringLiteral("Nintendo");
      break;
    case 0:
      RomMaker = QStringLiteral("Unknown");
      break;
    default:
      break;
  }
  UnloadROM1->setEnabled(true);
  Start1->setEnabled(true);
  ShowStartupPicture(false);

  if (unsupported) {
    dialogs_.ShowError(this, QStringLiteral("Unsupported Rom Format!"));
    DbgAddLine("MMkay!");
  }
}

bool TMainForm::ReadRomStream(const QString& path) {
  // The image load's checks: a FIFO, a device or an oversized file is refused before any read.
  TRomFile file(QFile::encodeName(path).toStdString());
  if (!file.Ok()) {
    dialogs_.ShowError(this, QStringLiteral("Cannot open file \"%1\". %2")
                                 .arg(QDir::toNativeSeparators(path), CoreText(file.Error())));
    return false;
  }
  RomStream.resize(file.Size());
  if (!file.ReadAll(RomStream.data())) {
    RomStream.clear();
    dialogs_.ShowError(
        this, QStringLiteral("Read error in \"%1\". %2").arg(path, CoreText(file.Error())));
    return false;
  }
  return true;
}

void TMainForm::Button3Click() {
  if (engine_.Exists() || !RomLoaded) return;
  engine_.Start();
  Reset1->setEnabled(true);
  Pause1->setEnabled(true);
  FullScreen1->setEnabled(true);
}

void TMainForm::Button4Click() {
  engine_.Stop();
}

void TMainForm::ShowRunEnded() {
  if (Pause1->isChecked()) Start1->setEnabled(true);
  Pause1->setChecked(false);
  Pause1->setEnabled(false);
  Reset1->setEnabled(false);
  if (!FullScreen1->isChecked()) FullScreen1->setEnabled(false);
}

void TMainForm::Button5Click() {
  if (!engine_.Exists()) return;
  if (FullScreen1->isChecked()) {
    FullScreen1->setChecked(false);
    LeaveFullScreen();
  }
  Button4Click();
  UnloadRomImage();
  PaintBox1->update();
  ShowStartupPicture(true);
  SetSimpleText(QStringLiteral("Rom Closing..."));
  BlockInput(kClosingBlockMs);
  SetSimpleText(QString());
  setWindowTitle(kMainCaption);
  ShowRunEnded();
  for (QAction* item : {UnloadROM1, ROMInfo1, Start1})
    item->setEnabled(false);
}

void TMainForm::BlockInput(int milliseconds) {
  // Timers still fire, so the host keeps draining the queue; keys and clicks wait.
  QEventLoop loop;
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  loop.exec(QEventLoop::ExcludeUserInputEvents);
}

// The item's check mark has already changed when its handler runs.
void TMainForm::Pause1Click() {
  if (Pause1->isChecked()) {
    Start1->setEnabled(false);
    SetSimpleText(QStringLiteral("Emulation Paused"));
    engine_.Pause();
    return;
  }
  engine_.Resume();
  Button3Click();
  Start1->setEnabled(true);
}

void TMainForm::Reset1Click() {
  // Stop returns only after the old run's closing steps, so the new run starts on a quiet machine.
  Button4Click();
  if (Pause1->isChecked()) {
    Pause1->setChecked(false);
    Start1->setEnabled(true);
  }
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
  if (dbgWnd_ == nullptr) return;
  dbgWnd_->show();
  dbgWnd_->raise();
}

void TMainForm::SetConfiguration(QWidget* config) {
  config_ = config;
  Configuration1->setEnabled(config != nullptr);
}

void TMainForm::Configuration1Click() {
  if (config_ != nullptr) config_->show();
}

void TMainForm::VantorTeam1Click() {
  if (credits_ == nullptr) return;
  credits_->show();
  credits_->raise();
}

QImage TMainForm::GrabClientArea() {
  // The screen's pixels, so the plug-in's picture is in it; the menu bar is not client area.
  const int top = centralWidget()->y();
  const QRect area(0, top, width(), height() - top);
  QPixmap shot = screen()->grabWindow(winId(), area.x(), area.y(), area.width(), area.height());
  if (shot.isNull()) shot = grab(area);
  return shot.toImage();
}

void TMainForm::SaveSnapshot1Click() {
  const auto name = dialogs_.ChooseSaveFile(this, QtFileFilter(kSnapshotFilter));
  if (!name || name->isEmpty()) return;
  const QImage picture = GrabClientArea();
  QFile file(*name);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    dialogs_.ShowError(this, QStringLiteral("Cannot create file \"%1\". %2")
                                 .arg(QDir::toNativeSeparators(*name), file.errorString()));
    return;
  }
  if (!picture.save(&file, "BMP")) {
    dialogs_.ShowError(this, QStringLiteral("Cannot write file \"%1\". %2")
                                 .arg(QDir::toNativeSeparators(*name), file.errorString()));
    return;
  }
  SetSimpleText(QStringLiteral("Snapshot ") + *name + QStringLiteral(" saved"));
}

}  // namespace vantor::ui
