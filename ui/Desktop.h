// What makes the main window a desktop program: the command line's start, Recent ROMs, dropped
// files, the remembered size and place, and the manual behind Help! and Index.
#pragma once

#include <QObject>
#include <QString>
#include <memory>

#include "ui/CommandLine.h"
#include "ui/HelpWindow.h"
#include "ui/RecentRoms.h"
#include "ui/WindowPlacement.h"

namespace vantor::ui {

class TMainForm;
class TUserDialogs;

// Made after the main window and destroyed before it.
class TDesktop : public QObject {
  Q_OBJECT

 public:
  TDesktop(TMainForm& form, TUserDialogs& dialogs, const QString& settingsFile);
  ~TDesktop() override;

  // Loads and starts a ROM (dropped files and Recent ROMs); a file that cannot be loaded is
  // reported as Load ROM reports it.
  void Open(const QString& path);
  // The command line's ROM, started paused or full-screen when asked.
  void Begin(const TStartOptions& options);

  TRecentRoms& Recent() { return recent_; }
  TWindowPlacement& Placement() { return *placement_; }
  THelpWindow& Help() { return *help_; }
  QMenu* RecentMenu() const { return recentMenu_; }

 private:
  TMainForm& form_;
  TRecentRoms recent_;
  QMenu* recentMenu_;
  TWindowPlacement* placement_;  // a child of this object
  std::unique_ptr<THelpWindow> help_;
};

}  // namespace vantor::ui
