#include "ui/ControllerCfg.h"

#include <QString>

#include "ui/DirectError.h"

namespace vantor::ui {

const TControllerMap kKeyboardDefaults = {200, 208, 203, 205, 17, 16, 23, 37, 36,
                                          38,  30,  31,  44,  45, 20, 33, 35, 34};
const TControllerMap kJoystickDefaults = {-2, -2, -1, -1, 17, 16, 23, 37, 36,
                                          38, 30, 31, 44, 45, 20, 33, 35, 34};

namespace {

constexpr int32_t kAxisLow = 16000;
constexpr int32_t kAxisHigh = 48000;

// A read that failed because the device went away ends the capture at the next Acquire.
TCapturePass ReadFailure(TResult result, const char* context) {
  if (result == DIERR_INPUTLOST) return {};
  return {TCapturePass::Failed, result, context};
}

}  // namespace

bool LoadDefaults(TControllerCfg& cfg, uint32_t devType) {
  if (devType == kDevTypeKeyboard)
    cfg.Map = kKeyboardDefaults;
  else if (devType == kDevTypeJoystick)
    cfg.Map = kJoystickDefaults;
  else
    return false;
  return true;
}

bool OpenCaptureDevice(TInputSystem& input, TControllerCfg& cfg) {
  std::unique_ptr<TInputDevice> device;
  TResult result = input.CreateDevice(cfg.DeviceGuid, device);
  if (!Succeeded(result) || device == nullptr) {
    ReportDXError(Succeeded(result) ? DIERR_GENERIC : result, "Error creating Input Device!");
    return false;
  }
  TDevCaps caps;
  result = device->GetCapabilities(caps);
  if (!Succeeded(result)) {
    ReportDXError(result, "Error getting Device Capabilities!");
    return false;
  }
  cfg.CapsFlags = caps.flags;
  cfg.DevType = caps.devType & 0xFF;
  cfg.Device = std::move(device);
  return true;
}

std::optional<int32_t> HighestKey(const TKeyStates& keys) {
  for (int code = static_cast<int>(keys.size()) - 1; code >= 0; --code)
    if (keys[code] != 0) return code;
  return std::nullopt;
}

std::optional<int32_t> HighestButton(const TJoyState& state) {
  for (int button = static_cast<int>(state.rgbButtons.size()) - 1; button >= 0; --button)
    if (state.rgbButtons[button] != 0) return button;
  return std::nullopt;
}

std::optional<int32_t> PushedAxis(const TJoyState& state) {
  const std::array<int32_t, 3> positions = {state.lX, state.lY, state.lZ};
  std::optional<int32_t> pushed;
  for (int axis = 0; axis < static_cast<int>(positions.size()); ++axis) {
    const int32_t position = positions[axis];
    if (position != 0 && (position > kAxisHigh || position < kAxisLow)) pushed = -(axis + 1);
  }
  return pushed;
}

TCapturePass CapturePass(TControllerCfg& work, TCaptureKind kind, uint32_t devType, int tag) {
  const bool keyboard = devType == kDevTypeKeyboard && kind == TCaptureKind::Button;
  const bool joystick = devType == kDevTypeJoystick;
  const int lastTag = kind == TCaptureKind::Direction ? kMapSize - 2 : kMapSize - 1;
  if (work.Device == nullptr || (!keyboard && !joystick) || tag < 0 || tag > lastTag)
    return {TCapturePass::Ended};

  const TResult acquired = work.Device->Acquire();
  if (acquired != DI_OK && acquired != DI_NOEFFECT) return {TCapturePass::Ended};

  std::optional<int32_t> found;
  if (keyboard) {
    TKeyStates keys{};
    const TResult result = work.Device->GetKeyboardState(keys);
    if (!Succeeded(result)) return ReadFailure(result, "Config: Error getting KB Input!");
    found = HighestKey(keys);
  } else {
    if ((work.CapsFlags & kCapsPolledDevice) != 0) {
      const TResult result = work.Device->Poll();
      if (!Succeeded(result)) return ReadFailure(result, "Config: Error polling Joystick!");
    }
    TJoyState state;
    const TResult result = work.Device->GetJoystickState(state);
    if (!Succeeded(result)) return ReadFailure(result, "Config: Error getting Joystick Input!");
    found = kind == TCaptureKind::Button ? HighestButton(state) : PushedAxis(state);
  }
  if (!found) return {};
  work.Map[tag] = *found;
  if (kind == TCaptureKind::Direction) work.Map[tag + 1] = *found;
  return {TCapturePass::Captured};
}

}  // namespace vantor::ui
