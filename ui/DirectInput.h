// TDirectInputConfig: the controller configuration window. The user picks an input device and
// assigns a key, joystick button or joystick axis to each control of the console's controller
// by clicking its edit box and pressing it.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <vector>

#include "ui/ControllerCfg.h"

namespace vantor::ui {

// What is attached to each entry of the device list.
struct TIObj {
  TGuid DeviceGuid{};
  uint32_t DevType = kDevTypeNone;
};

// A read-only edit box that stands for Map[Tag] and reports clicks.
class TEditBox : public QLineEdit {
  Q_OBJECT

 public:
  TEditBox(int tag, QWidget* parent);
  const int Tag;

 signals:
  void Clicked(TEditBox* box);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
};

class TDirectInputConfig : public QWidget {
  Q_OBJECT

 public:
  // The assignment is kept in settingsFile; with none kept there, the keyboard on its default
  // keys is the device.
  TDirectInputConfig(TInputSystem& input, const QString& settingsFile, QWidget* parent = nullptr);

  // Milliseconds between two looks at the device while a capture waits.
  static constexpr int kCaptureIntervalMs = 10;

  // Handlers, named after their controls and events.
  void FormShow();
  void ComboBox1Change();
  void kbClick(TEditBox* sender);
  void jsAxClick(TEditBox* sender);
  void CheckBox1Click();
  void Button3Click();  // Load Defaults
  void Button1Click();  // OK
  void Button2Click();  // Cancel

  // The edit box a capture is waiting on, or null.
  TEditBox* CaptureBox() const { return capture_.box; }
  // One look at the device of the running capture; the capture's timer calls it.
  void CaptureTick();

  TControllerCfg Cfg;
  TControllerCfg SavedCfg;  // what Cancel goes back to: Cfg as it was when the window was shown
  std::vector<TIObj> DeviceObjects;  // one per entry of ComboBox1

  QGroupBox* GroupBox1;  // " Configure Controls "
  QGroupBox* GroupBox2;  // "Select Input Device"
  QComboBox* ComboBox1;
  QGroupBox* KeyboardBox;  // "Settings"
  QGroupBox* ButtonsBox;
  TEditBox *kbA, *kbB, *kbSTART, *kbZ, *kbR, *kbL;
  QGroupBox* DigitalPadBox;
  TEditBox *digUP, *digLeft, *digRight, *digDown;
  QGroupBox* OptionsBox;
  QCheckBox* CheckBox1;  // "Enable Joystick"
  QCheckBox* CheckBox2;  // "Rumble Pack"
  QPushButton* Button3;  // "Load Defaults"
  QGroupBox* GroupBox3;  // the keyboard's "Analog Stick"
  TEditBox *kbUP, *kbDOWN, *kbLEFT, *kbRIGHT;
  QGroupBox* CButtonsBox;
  TEditBox *cbUp, *cbDown, *cbLeft, *cbRight;
  QGroupBox* GroupBox8;  // the joystick's "Analog Stick"
  TEditBox* jsX;         // up/down
  TEditBox* jsY;         // left/right
  QPushButton* Button1;  // OK
  QPushButton* Button2;  // Cancel

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  TEditBox* AddEditBox(QGroupBox* group, int tag, const char* name, const QString& label, int row);
  // The edit boxes of Map entries 0 to 17, by entry.
  std::array<TEditBox*, kMapSize> MapBoxes() const;
  const TIObj* Selected() const;
  void StartCapture(TEditBox* box, TCaptureKind kind);
  // Ends the capture; `keep` copies its working record into Cfg.
  void EndCapture(bool keep);
  // Ends the capture without touching Cfg or the texts.
  void StopCapture();
  void SaveCfg();
  void ChooseKeyboard();

  struct TCapture {
    TEditBox* box = nullptr;
    TCaptureKind kind = TCaptureKind::Button;
    uint32_t devType = kDevTypeNone;
    TControllerCfg work;
  };

  TInputSystem& input_;
  QString settingsFile_;
  TCapture capture_;
  QTimer captureTimer_;
};

}  // namespace vantor::ui
