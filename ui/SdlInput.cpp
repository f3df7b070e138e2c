#include "ui/SdlInput.h"

#include <SDL.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "ui/KeyboardState.h"

namespace vantor::ui {

const TGuid kSysKeyboardGuid = {0x6F, 0x1D, 0x2B, 0x61, 0xD5, 0xA0, 0x11, 0xCF,
                                0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00};

namespace {

constexpr uint32_t kSubsystems = SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER;
constexpr uint32_t kPovCentred = 0xFFFFFFFF;

TGuid ModelGuid(int index) {
  const SDL_JoystickGUID model = SDL_JoystickGetDeviceGUID(index);
  TGuid guid;
  std::memcpy(guid.data(), model.data, guid.size());
  return guid;
}

// The identities of the joysticks by device index. SDL's GUID names a model, so two pads of one
// model would share it: the n-th of them gets n folded into bytes 6 and 7, which SDL leaves zero
// for USB and Bluetooth devices.
std::vector<TGuid> JoystickGuids(int count) {
  std::vector<TGuid> models, guids;
  for (int index = 0; index < count; ++index) {
    const TGuid model = ModelGuid(index);
    const auto occurrence = std::count(models.begin(), models.end(), model);
    models.push_back(model);
    TGuid guid = model;
    guid[6] ^= static_cast<uint8_t>(occurrence >> 8);
    guid[7] ^= static_cast<uint8_t>(occurrence);
    guids.push_back(guid);
  }
  return guids;
}

uint32_t PovOfHat(uint8_t hat) {
  switch (hat) {
    case SDL_HAT_UP:
      return 0;
    case SDL_HAT_RIGHTUP:
      return 4500;
    case SDL_HAT_RIGHT:
      return 9000;
    case SDL_HAT_RIGHTDOWN:
      return 13500;
    case SDL_HAT_DOWN:
      return 18000;
    case SDL_HAT_LEFTDOWN:
      return 22500;
    case SDL_HAT_LEFT:
      return 27000;
    case SDL_HAT_LEFTUP:
      return 31500;
    default:
      return kPovCentred;
  }
}

class TKeyboardDevice : public TInputDevice {
 public:
  explicit TKeyboardDevice(const TKeyboardState& keyboard) : keyboard_(keyboard) {}

  TResult GetCapabilities(TDevCaps& caps) override {
    caps = {kCapsAttached, kDevTypeKeyboard};
    return DI_OK;
  }
  TResult Acquire() override {
    if (acquired_) return DI_NOEFFECT;
    acquired_ = true;
    seen_ = keyboard_.Presses();
    return DI_OK;
  }
  TResult Poll() override { return DI_NOEFFECT; }
  // The keys held now, and those tapped since the last read: a tap can begin and end between
  // two reads.
  TResult GetKeyboardState(TKeyStates& state) override {
    if (!acquired_) return DIERR_NOTACQUIRED;
    state = keyboard_.Keys();
    const TKeyboardState::TPressCounts& presses = keyboard_.Presses();
    for (size_t code = 0; code < state.size(); ++code)
      if (presses[code] != seen_[code]) state[code] = 0x80;
    seen_ = presses;
    return DI_OK;
  }
  TResult GetJoystickState(TJoyState&) override { return DIERR_INVALIDPARAM; }

 private:
  const TKeyboardState& keyboard_;
  bool acquired_ = false;
  TKeyboardState::TPressCounts seen_{};
};

class TJoystickDevice : public TInputDevice {
 public:
  explicit TJoystickDevice(SDL_Joystick* joystick) : joystick_(joystick) {}
  ~TJoystickDevice() override { SDL_JoystickClose(joystick_); }
  TJoystickDevice(const TJoystickDevice&) = delete;
  TJoystickDevice& operator=(const TJoystickDevice&) = delete;

  TResult GetCapabilities(TDevCaps& caps) override {
    caps = {kCapsPolledDevice | (Attached() ? kCapsAttached : 0u), kDevTypeJoystick};
    return DI_OK;
  }
  TResult Acquire() override {
    if (!Attached()) return DIERR_INPUTLOST;
    return std::exchange(acquired_, true) ? DI_NOEFFECT : DI_OK;
  }
  TResult Poll() override {
    if (!acquired_) return DIERR_NOTACQUIRED;
    SDL_JoystickUpdate();
    return Attached() ? DI_OK : DIERR_INPUTLOST;
  }
  TResult GetKeyboardState(TKeyStates&) override { return DIERR_INVALIDPARAM; }
  TResult GetJoystickState(TJoyState& state) override {
    if (!acquired_) return DIERR_NOTACQUIRED;
    if (!Attached()) return DIERR_INPUTLOST;
    state = {};
    const std::array<int32_t*, 8> axes = {&state.lX,           &state.lY,          &state.lZ,
                                          &state.lRx,          &state.lRy,         &state.lRz,
                                          &state.rglSlider[0], &state.rglSlider[1]};
    const int axisCount = std::min<int>(SDL_JoystickNumAxes(joystick_), axes.size());
    for (int axis = 0; axis < axisCount; ++axis)
      *axes[axis] = SDL_JoystickGetAxis(joystick_, axis) + 32768;
    const int hatCount = SDL_JoystickNumHats(joystick_);
    for (int pov = 0; pov < static_cast<int>(state.rgdwPOV.size()); ++pov)
      state.rgdwPOV[pov] =
          pov < hatCount ? PovOfHat(SDL_JoystickGetHat(joystick_, pov)) : kPovCentred;
    const int buttonCount =
        std::min<int>(SDL_JoystickNumButtons(joystick_), state.rgbButtons.size());
    for (int button = 0; button < buttonCount; ++button)
      state.rgbButtons[button] = SDL_JoystickGetButton(joystick_, button) ? 0x80 : 0;
    return DI_OK;
  }

 private:
  bool Attached() {
    if (SDL_JoystickGetAttached(joystick_)) return true;
    acquired_ = false;
    return false;
  }

  SDL_Joystick* joystick_;
  bool acquired_ = false;
};

}  // namespace

TDesktopInput::~TDesktopInput() {
  if (started_) SDL_QuitSubSystem(kSubsystems);
}

bool TDesktopInput::Start(std::string& reason) {
  // The joystick subsystem brings SDL's event subsystem with it, whose signal handlers would
  // turn Ctrl+C into an event that nobody reads.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_InitSubSystem(kSubsystems) != 0) {
    reason = SDL_GetError();
    return false;
  }
  // Devices are read on request; queued events would only pile up unread.
  SDL_JoystickEventState(SDL_IGNORE);
  SDL_GameControllerEventState(SDL_IGNORE);
  started_ = true;
  return true;
}

TResult TDesktopInput::EnumDevices(std::vector<TDeviceInstance>& devices) {
  devices.clear();
  devices.push_back({kSysKeyboardGuid, kDevTypeKeyboard, "Keyboard"});
  if (!started_) return DI_OK;
  // Notices pads plugged in or pulled out since the last look.
  SDL_JoystickUpdate();
  const int count = SDL_NumJoysticks();
  if (count < 0) return DIERR_GENERIC;
  const std::vector<TGuid> guids = JoystickGuids(count);
  for (int index = 0; index < count; ++index) {
    const char* name = SDL_JoystickNameForIndex(index);
    devices.push_back(
        {guids[index], kDevTypeJoystick,
         name != nullptr && *name != 0 ? name : "Joystick " + std::to_string(index + 1)});
  }
  return DI_OK;
}

TResult TDesktopInput::CreateDevice(const TGuid& guid, std::unique_ptr<TInputDevice>& device) {
  device.reset();
  if (guid == kSysKeyboardGuid) {
    device = std::make_unique<TKeyboardDevice>(keyboard_);
    return DI_OK;
  }
  if (!started_) return DIERR_DEVICENOTREG;
  SDL_JoystickUpdate();
  const int count = SDL_NumJoysticks();
  if (count < 0) return DIERR_GENERIC;
  const std::vector<TGuid> guids = JoystickGuids(count);
  const auto match = std::find(guids.begin(), guids.end(), guid);
  if (match == guids.end()) return DIERR_DEVICENOTREG;
  SDL_Joystick* joystick = SDL_JoystickOpen(static_cast<int>(match - guids.begin()));
  if (joystick == nullptr) return DIERR_GENERIC;
  device = std::make_unique<TJoystickDevice>(joystick);
  return DI_OK;
}

}  // namespace vantor::ui
