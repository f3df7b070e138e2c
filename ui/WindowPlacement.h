// The main window's screen size choice and position, kept in Vantor64.ini (section Window, keys
// ScreenSize and Position) and given back at start-up.
#pragma once

#include <QObject>
#include <QPoint>
#include <QString>

namespace vantor::ui {

class TMainForm;

class TWindowPlacement : public QObject {
  Q_OBJECT

 public:
  // Remembers each screen size chosen from the menu from now on.
  TWindowPlacement(TMainForm& form, const QString& settingsFile, QObject* owner);

  // Chooses the remembered screen size and moves the window to the remembered position, unless
  // that position is off every screen. Before the window is shown.
  void Restore();
  // Writes the window's position (its place before full-screen mode while in it).
  void SavePosition();

  // True when a window at this position would show its top-left corner on some screen.
  static bool OnSomeScreen(QPoint position);

 private:
  TMainForm& form_;
  QString settingsFile_;
  QPoint normalPosition_;
};

}  // namespace vantor::ui
