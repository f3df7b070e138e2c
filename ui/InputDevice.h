// The input layer's interface: the devices a user can assign to the controller, opened and read
// the way the controller configuration reads them. Results and states keep the numbering the
// controller code was written for (result codes, key codes, a 0..65535 axis range), so the
// assignment values mean the same whatever reads them.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vantor::ui {

// A result code: 0 or 1 for success, a negative code for a failure.
using TResult = int32_t;
inline constexpr TResult DI_OK = 0;
inline constexpr TResult DI_NOEFFECT = 1;  // nothing to do, e.g. already acquired
inline constexpr TResult DIERR_GENERIC = static_cast<TResult>(0x80004005);
inline constexpr TResult DIERR_DEVICENOTREG = static_cast<TResult>(0x80040154);
inline constexpr TResult DIERR_NOTACQUIRED = static_cast<TResult>(0x8007000C);
inline constexpr TResult DIERR_INPUTLOST = static_cast<TResult>(0x8007001E);
inline constexpr TResult DIERR_INVALIDPARAM = static_cast<TResult>(0x80070057);

inline bool Succeeded(TResult result) {
  return result >= 0;
}

// A device's identity: 16 bytes, kept across runs of the program. All zero means no device.
using TGuid = std::array<uint8_t, 16>;

// Device types: the low byte of a device's type.
enum : uint32_t {
  kDevTypeNone = 0,
  kDevTypeOther = 1,
  kDevTypeMouse = 2,
  kDevTypeKeyboard = 3,
  kDevTypeJoystick = 4,
};

// Capability flags.
enum : uint32_t {
  kCapsAttached = 1 << 0,
  kCapsPolledDevice = 1 << 1,  // its state changes only when it is polled
};

struct TDeviceInstance {
  TGuid guid{};
  uint32_t devType = kDevTypeNone;
  std::string name;
};

struct TDevCaps {
  uint32_t flags = 0;
  uint32_t devType = kDevTypeNone;
};

// A keyboard's state: one byte per key code, bit 7 set while the key is held.
using TKeyStates = std::array<uint8_t, 256>;

// A joystick's state (80 bytes). Axes run from 0 to 65535 with the centre at 32768; an axis the
// device lacks reads 0. Points of view are in hundredths of a degree, 0xFFFFFFFF when centred;
// a button's byte has bit 7 set while it is held.
struct TJoyState {
  int32_t lX = 0, lY = 0, lZ = 0;
  int32_t lRx = 0, lRy = 0, lRz = 0;
  std::array<int32_t, 2> rglSlider{};
  std::array<uint32_t, 4> rgdwPOV{};
  std::array<uint8_t, 32> rgbButtons{};
};
static_assert(sizeof(TJoyState) == 80);

// One opened device. Released by destroying it.
class TInputDevice {
 public:
  virtual ~TInputDevice() = default;
  virtual TResult GetCapabilities(TDevCaps& caps) = 0;
  // DI_OK, DI_NOEFFECT when already acquired, a failure when the device cannot be read now.
  virtual TResult Acquire() = 0;
  // Brings a polled device's state up to date.
  virtual TResult Poll() = 0;
  // DIERR_INVALIDPARAM when the device is not of that kind.
  virtual TResult GetKeyboardState(TKeyStates& state) = 0;
  virtual TResult GetJoystickState(TJoyState& state) = 0;
};

// The program's one input object: lists and opens devices.
class TInputSystem {
 public:
  virtual ~TInputSystem() = default;
  // Every keyboard, joystick and game pad, in a stable order; mice are never listed.
  virtual TResult EnumDevices(std::vector<TDeviceInstance>& devices) = 0;
  // DIERR_DEVICENOTREG when no device has this identity (any more).
  virtual TResult CreateDevice(const TGuid& guid, std::unique_ptr<TInputDevice>& device) = 0;
};

}  // namespace vantor::ui
