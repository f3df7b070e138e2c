// The controller assignment: which key, joystick button or joystick axis stands for each control
// of the console's controller, its defaults, and the rules by which a capture takes a key,
// button or axis from a device's state. Nothing here needs a window.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "ui/InputDevice.h"

class QWidget;

namespace vantor::ui {

// Map indices: the analog stick (up, down, left, right), A, B, Z, Start, R, L, the C buttons
// (up, down, left, right) and the digital pad (up, left, right, down).
inline constexpr int kMapSize = 18;
using TControllerMap = std::array<int32_t, kMapSize>;

// A value is a key code (0 to 255) for a keyboard, a button number (0 to 31) for a joystick, or
// -(axis + 1) for a joystick axis (-1 X, -2 Y, -3 Z).
inline constexpr int32_t kLowestMapValue = -3;
inline constexpr int32_t kHighestMapValue = 255;

extern const TControllerMap kKeyboardDefaults;
extern const TControllerMap kJoystickDefaults;

struct TControllerCfg {
  TGuid DeviceGuid{};
  std::shared_ptr<TInputDevice> Device;  // held only while a capture runs
  uint32_t CapsFlags = 0;
  uint32_t DevType = kDevTypeNone;
  QWidget* Window = nullptr;
  TControllerMap Map{};
};

// Loads the defaults of a keyboard or a joystick into Map; any other type keeps Map. Returns
// whether it loaded.
bool LoadDefaults(TControllerCfg& cfg, uint32_t devType);

// Opens the device named by DeviceGuid into Device and fills CapsFlags and DevType. A failure is
// reported to the user and leaves Device empty.
bool OpenCaptureDevice(TInputSystem& input, TControllerCfg& cfg);

// The capture rules, each nothing while nothing is pressed or pushed far enough.
// The highest key code held.
std::optional<int32_t> HighestKey(const TKeyStates& keys);
// The highest button (0 to 31) held.
std::optional<int32_t> HighestButton(const TJoyState& state);
// -(axis + 1) of the last of the axes X, Y, Z beyond a quarter of its travel (below 16000 or
// above 48000), where 0 counts as no axis.
std::optional<int32_t> PushedAxis(const TJoyState& state);

enum class TCaptureKind {
  Button,     // a key or a joystick button into Map[tag]
  Direction,  // a joystick axis into Map[tag] and Map[tag + 1]
};

struct TCapturePass {
  enum TState { Waiting, Captured, Ended, Failed } state = Waiting;
  TResult code = DI_OK;           // for Failed
  const char* context = nullptr;  // for Failed: what was being done
};

// One pass of a capture on an opened working record: acquires the device, reads it as a device
// of devType and stores what it finds. Ended means nothing can be captured (the device cannot
// be acquired, or is of a type that has nothing to capture); Map is changed only when Captured.
TCapturePass CapturePass(TControllerCfg& work, TCaptureKind kind, uint32_t devType, int tag);

}  // namespace vantor::ui
