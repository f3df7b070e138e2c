// TConfigF: the configuration window. The thread priority slider, the sound switch with its
// frequency, and the button that opens the controller configuration.
#pragma once

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QWidget>
#include <array>

namespace vantor {
class TEngine;
}

namespace vantor::ui {

class TConfigF : public QWidget {
  Q_OBJECT

 public:
  // The slider drives the engine's thread priority; the choices are kept in settingsFile.
  TConfigF(TEngine& engine, const QString& settingsFile, QWidget* parent = nullptr);

  // The controller configuration window, made after this one.
  void SetKeyConfiguration(QWidget* window) { keyConfiguration_ = window; }

  // Niceness of each slider position, added to the program's own: Lowest to Highest.
  static constexpr std::array<int, 7> kNiceOfPosition = {19, 15, 10, 5, 2, 0, -5};
  // The niceness the emulation thread gets at a slider position.
  int NicenessAt(int position) const;
  // Sound plays unless Disabled is chosen.
  bool SoundOn() const { return !Disabled->isChecked(); }

  // Handlers, named after their controls and events.
  void FormCreate();
  void EnabledClick();
  void DisabledClick();
  void Hz1Click();
  void Button1Click();  // Key Configuration
  void BitBtn1Click();  // OK
  void TrackBar1Change();

  QGroupBox* GroupBox1;
  QSlider* TrackBar1;
  QLabel* Label3;
  QLabel* Label4;
  QGroupBox* GroupBox3;
  QRadioButton* Enabled;
  QRadioButton* Disabled;
  QGroupBox* GroupBox4;
  QRadioButton* Hz1;
  QPushButton* Button1;
  QPushButton* BitBtn1;

 signals:
  // Enabled or Disabled was chosen.
  void SoundChanged();

 private:
  void SaveSound();

  TEngine& engine_;
  QString settingsFile_;
  QWidget* keyConfiguration_ = nullptr;
};

}  // namespace vantor::ui
