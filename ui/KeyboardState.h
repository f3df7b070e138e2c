// The keyboard as the controller code reads it: which keys are held, by key code (the PC
// keyboard's set-1 scan codes, extended keys plus 128: A 30, S 31, Up arrow 200), kept up to
// date from the key events of the program's windows.
#pragma once

#include <QObject>
#include <cstdint>

#include "ui/InputDevice.h"

namespace vantor::ui {

// The key code of an X11 key code (the Linux input code plus 8), 0 for a key without one.
uint8_t KeyCodeOfX11Key(uint32_t x11Keycode);

class TKeyboardState : public QObject {
  Q_OBJECT

 public:
  // Watches the key events of every window of the application it is installed on.
  void InstallOn(QObject* application);

  void Press(uint8_t code) {
    keys_[code] = 0x80;
    ++presses_[code];
  }
  void Release(uint8_t code) { keys_[code] = 0; }
  // Forgets every held key: a key released while another program has the focus sends nothing.
  void ReleaseAll() { keys_.fill(0); }
  const TKeyStates& Keys() const { return keys_; }
  // How often each key went down. A reader that compares counts sees a key tapped between two
  // of its looks, which the held states alone would miss.
  using TPressCounts = std::array<uint32_t, 256>;
  const TPressCounts& Presses() const { return presses_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  TKeyStates keys_{};
  TPressCounts presses_{};
};

}  // namespace vantor::ui
