// The main window's Rom Info command, and a start that halts before the first instruction.
#include "memory/RomImage.h"
#include "ui/MainForm.h"
#include "ui/RomInfoDialog.h"

namespace vantor::ui {

void TMainForm::ROMInfo1Click() {
  if (!ROMInfo1->isEnabled()) return;
  if (romInfo_ == nullptr) romInfo_ = new TRomInfoDialog(this);
  romInfo_->ShowRom(RomFacts, RomStream);
}

void TMainForm::StartPaused() {
  if (engine_.Exists() || !RomLoaded) return;
  engine_.Start({}, true);
  Pause1->setChecked(true);
  Start1->setEnabled(false);
  for (QAction* item : {Pause1, Reset1, FullScreen1})
    item->setEnabled(true);
  SetStatus(QStringLiteral("Emulation Paused"));
}

}  // namespace vantor::ui
