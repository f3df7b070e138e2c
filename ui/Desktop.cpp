#include "ui/Desktop.h"

#include <QMenu>

#include "ui/MainForm.h"
#include "ui/RomDrop.h"

namespace vantor::ui {

TDesktop::TDesktop(TMainForm& form, TUserDialogs& dialogs, const QString& settingsFile)
    : form_(form), recent_(settingsFile) {
  recentMenu_ = new QMenu(QStringLiteral("Recen&t ROMs"), form_.File1);
  form_.File1->insertMenu(form_.UnloadROM1, recentMenu_);
  // The pieces live as long as this object, which the program destroys before the window.
  new TRecentRomsMenu(
      recentMenu_, recent_, dialogs, [this](const QString& path) { Open(path); }, this);
  connect(&form_, &TMainForm::RomOpened, this, [this](const QString& path) { recent_.Add(path); });

  new TRomDrop(
      &form_, [this](const QString& path) { Open(path); }, this);
  placement_ = new TWindowPlacement(form_, settingsFile, this);

  help_ = std::make_unique<THelpWindow>();
  form_.Help2->setEnabled(true);
  form_.Index1->setEnabled(true);
  connect(form_.Help2, &QAction::triggered, help_.get(), &THelpWindow::ShowManual);
  connect(form_.Index1, &QAction::triggered, help_.get(), &THelpWindow::ShowContents);
}

TDesktop::~TDesktop() = default;

void TDesktop::Open(const QString& path) {
  form_.LoadRomFile(path);
  form_.Button3Click();
}

void TDesktop::Begin(const TStartOptions& options) {
  if (options.rom.isEmpty()) return;
  form_.LoadRomFile(options.rom);
  if (options.paused)
    form_.StartPaused();
  else
    form_.Button3Click();
  // Full-screen mode belongs to a running ROM: without one the option has nothing to show.
  if (options.fullScreen && form_.Engine().Exists() && !form_.FullScreen1->isChecked())
    form_.FullScreen1->trigger();
}

}  // namespace vantor::ui
