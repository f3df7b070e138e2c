// Where the debugger's windows open: the first time beside the main window on the screen it is
// on, side by side so that none hides another's controls; afterwards where the user left them,
// kept in Vantor64.ini (section DebugWindows, one "x, y" key per window, named after it).
#pragma once

#include <QList>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

class QWidget;

namespace vantor::ui {

// Frame positions for windows of the given frame sizes, in order, beside `main` within `screen`:
// each takes the first free place to the right of, below, left of or above a window already
// there (the main window first); where none is free, the place that covers least of the others,
// the debugger's windows counting twice the main window.
QList<QPoint> SideBySide(const QRect& main, const QList<QSize>& frames, const QRect& screen);

class TDebugPlacement : public QObject {
 public:
  // Places the windows beside the main window, or where they were left, as the main window moves
  // until the first of them shows.
  TDebugPlacement(QWidget& mainWindow, const QList<QWidget*>& windows, const QString& settingsFile,
                  QObject* owner = nullptr);

  // Writes the windows' positions, once they have been shown; each time one of them hides.
  void Save();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Place();

  QWidget& main_;
  QList<QWidget*> windows_;
  QString settingsFile_;
  QList<QPoint> saved_;  // one place for each window, or none
  bool placed_ = false;
  bool shown_ = false;
};

}  // namespace vantor::ui
