// The desktop's input devices: the keyboard, from the windows' key events, and every joystick
// and game pad SDL2 reports. All calls come from the main thread.
#pragma once

#include <string>

#include "ui/InputDevice.h"

namespace vantor::ui {

class TKeyboardState;

// The keyboard's identity: {6F1D2B61-D5A0-11CF-BFC7-444553540000}, the system keyboard's
// instance identity where these assignments were first kept.
extern const TGuid kSysKeyboardGuid;

class TDesktopInput : public TInputSystem {
 public:
  explicit TDesktopInput(const TKeyboardState& keyboard) : keyboard_(keyboard) {}
  ~TDesktopInput() override;
  TDesktopInput(const TDesktopInput&) = delete;
  TDesktopInput& operator=(const TDesktopInput&) = delete;

  // Starts SDL's joystick subsystem. Without it only the keyboard is listed, and the reason is
  // returned in `reason`.
  bool Start(std::string& reason);
  bool JoysticksAvailable() const { return started_; }

  TResult EnumDevices(std::vector<TDeviceInstance>& devices) override;
  TResult CreateDevice(const TGuid& guid, std::unique_ptr<TInputDevice>& device) override;

 private:
  const TKeyboardState& keyboard_;
  bool started_ = false;
};

}  // namespace vantor::ui
