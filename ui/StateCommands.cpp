// The main window's save-state commands, quick slots and speed limit with Tab fast-forward.
#include <QActionGroup>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>

#include "common/DebugLog.h"
#include "core/MachineImage.h"
#include "memory/RomImage.h"
#include "ui/Dialogs.h"
#include "ui/MainForm.h"
#include "ui/Settings.h"
#include "ui/StateSlots.h"

namespace vantor::ui {

namespace {

constexpr const char* kStateFilter = "Vantor64 states (*.st*)|*.st*|All files (*.*)|*.*";
// How long a state's status text stays readable over a running ROM's frame rates.
constexpr int kStateTextMs = 4000;

QString NativePath(const QString& path) {
  return QDir::toNativeSeparators(path);
}

}  // namespace

void TMainForm::CreateStateItems() {
  using T = TMainForm;
  SaveState1 = AddItem(File1, "SaveState1", "&Save State", QKeySequence(Qt::Key_F2), false,
                       &T::SaveState1Click);
  LoadState1 = AddItem(File1, "LoadState1", "Loa&d State", QKeySequence(Qt::Key_F4), false,
                       &T::LoadState1Click);
  SaveStateAs1 = AddItem(File1, "SaveStateAs1", "Save State &As...", QKeySequence(), false,
                         &T::SaveStateAs1Click);
  LoadStateFrom1 = AddItem(File1, "LoadStateFrom1", "Load State &From...", QKeySequence(), false,
                           &T::LoadStateFrom1Click);
  StateSlot1 = File1->addMenu(QStringLiteral("State Sl&ot"));
  StateSlot1->setObjectName(QStringLiteral("StateSlot1"));
  StateSlot1->menuAction()->setObjectName(QStringLiteral("StateSlot1"));
  auto* group = new QActionGroup(this);
  for (int slot = 0; slot < kStateSlots; ++slot) {
    QAction* item = StateSlot1->addAction(QStringLiteral("Slot &%1").arg(slot));
    item->setObjectName(QStringLiteral("Slot%1").arg(slot));
    item->setCheckable(true);
    item->setChecked(slot == 0);
    group->addAction(item);
    Slots[static_cast<size_t>(slot)] = item;
  }
}

int TMainForm::StateSlot() const {
  for (int slot = 0; slot < kStateSlots; ++slot)
    if (Slots[static_cast<size_t>(slot)]->isChecked()) return slot;
  return 0;
}

void TMainForm::UpdateStateItems() {
  for (QAction* item : {SaveState1, SaveStateAs1})
    item->setEnabled(engine_.Exists());
  for (QAction* item : {LoadState1, LoadStateFrom1})
    item->setEnabled(RomLoaded);
}

void TMainForm::SaveState1Click() {
  if (!engine_.Exists()) return;
  const int slot = StateSlot();
  SaveStateTo(StatesFolder() + u'/' + SlotFileName(LoadedRomIdentity(), slot),
              QStringLiteral("slot %1").arg(slot));
}

void TMainForm::LoadState1Click() {
  if (!RomLoaded) return;
  const int slot = StateSlot();
  const QString path = StatesFolder() + u'/' + SlotFileName(LoadedRomIdentity(), slot);
  if (!QFileInfo::exists(path)) {
    // Over a running ROM the frame rate replaces the status text at once: the message stays a
    // while and is kept in the console.
    const QString text = QStringLiteral("Slot %1 holds no state of this ROM").arg(slot);
    SetStatus(text);
    StatusBar1->showMessage(text, kStateTextMs);
    DbgAddLine(text.toStdString());
    return;
  }
  LoadStateFrom(path, QStringLiteral("slot %1").arg(slot));
}

void TMainForm::SaveStateAs1Click() {
  if (!engine_.Exists()) return;
  auto name =
      dialogs_.ChooseSaveFile(this, QStringLiteral("Save State As"), QtFileFilter(kStateFilter));
  if (!name || name->isEmpty()) return;
  // A new name without an extension gets the states' own, so that Load State From lists the
  // file; an existing file the user chose is taken as named.
  const QFileInfo chosen(*name);
  if (chosen.suffix().isEmpty() && !chosen.exists() && !chosen.isSymLink()) {
    *name += name->endsWith(u'.') ? QStringLiteral("st") : QStringLiteral(".st");
    if (QFileInfo::exists(*name) &&
        !dialogs_.Ask(this, NativePath(*name) + QStringLiteral(" already exists. Replace it?")))
      return;
  }
  SaveStateTo(*name, NativePath(*name));
}

void TMainForm::LoadStateFrom1Click() {
  if (!RomLoaded) return;
  const auto name = dialogs_.ChooseOpenFile(this, QStringLiteral("Load State"), StatesFolder(),
                                            QtFileFilter(kStateFilter));
  if (!name || name->isEmpty()) return;
  LoadStateFrom(*name, NativePath(*name));
}

void TMainForm::SaveStateTo(const QString& path, const QString& where) {
  // Taken first: the run may end while the box of a failure is open.
  const TStateImage image = engine_.CaptureState();
  const QString folder = QFileInfo(path).absolutePath();
  std::string error;
  if (!QDir().mkpath(folder)) {
    error = "the folder " + NativePath(folder).toStdString() + " cannot be made";
  } else if (WriteMachineState(QFile::encodeName(path).toStdString(), image, error)) {
    const QString text = QStringLiteral("State saved to ") + where;
    SetStatus(text);
    StatusBar1->showMessage(text, kStateTextMs);
    return;
  }
  const QString text = QStringLiteral("Cannot save the state to \"%1\": %2")
                           .arg(NativePath(path), QString::fromStdString(error));
  SetStatus(text);
  dialogs_.ShowError(this, text);
}

void TMainForm::LoadStateFrom(const QString& path, const QString& where) {
  std::string error;
  std::shared_ptr<const TStateImage> image =
      ReadMachineState(QFile::encodeName(path).toStdString(), error);
  if (!image) {
    const QString text = QStringLiteral("Cannot load the state \"%1\": %2")
                             .arg(NativePath(path), QString::fromStdString(error));
    SetStatus(text);
    dialogs_.ShowError(this, text);
    return;
  }
  if (engine_.Exists())
    engine_.RestoreState(std::move(image));
  else
    StartRun(std::move(image));
  const QString text = QStringLiteral("State loaded from ") + where;
  SetStatus(text);
  StatusBar1->showMessage(text, kStateTextMs);
}

void TMainForm::LimitSpeed1Click() {
  WriteLimitSpeed(settingsFile_, LimitSpeed1->isChecked());
  ApplySpeedLimit();
}

void TMainForm::SetFastForward(bool held) {
  if (fastForward_ == held) return;
  fastForward_ = held;
  ApplySpeedLimit();
}

void TMainForm::ApplySpeedLimit() {
  engine_.SetLimitSpeed(AtConsoleSpeed());
  emit SpeedChanged();
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  const bool press = event->type() == QEvent::KeyPress;
  if (press || event->type() == QEvent::KeyRelease) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Tab && key->modifiers() == Qt::NoModifier && isActiveWindow()) {
      if (!key->isAutoRepeat()) SetFastForward(press);
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace vantor::ui
