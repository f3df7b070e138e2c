#include "ui/PadInput.h"

#include <QEvent>
#include <QWidget>
#include <algorithm>
#include <array>
#include <cstdlib>

#include "memory/Pif.h"

namespace vantor::ui {

namespace {

// Map entries 4 to 17 and the controller's buttons they stand for.
constexpr int kFirstButton = 4;
constexpr std::array<uint32_t, kMapSize - kFirstButton> kButtonBits = {
    kPadA,     kPadB,     kPadZ,      kPadStart, kPadR,     kPadL,      kPadCUp,
    kPadCDown, kPadCLeft, kPadCRight, kPadDUp,   kPadDLeft, kPadDRight, kPadDDown};
enum : int { kStickUp = 0, kStickDown = 1, kStickLeft = 2, kStickRight = 3 };

constexpr int32_t kAxisCentre = 32768;
constexpr uint32_t kPovCentred = 0xFFFFFFFF;
// A second between two attempts to open a device that could not be opened or read.
constexpr int kRetryTicks = 1000 / TPadFeed::kIntervalMs;

bool KeyHeld(const TKeyStates& keys, int32_t code) {
  return code >= 0 && code < static_cast<int32_t>(keys.size()) && (keys[code] & 0x80) != 0;
}

bool ButtonHeld(const TJoyState& state, int32_t button) {
  return button >= 0 && button < static_cast<int32_t>(state.rgbButtons.size()) &&
         (state.rgbButtons[button] & 0x80) != 0;
}

// The position of the axis an entry names (-1 X, -2 Y, -3 Z); the centre for anything else.
int32_t AxisPosition(const TJoyState& state, int32_t entry) {
  switch (entry) {
    case -1:
      return state.lX;
    case -2:
      return state.lY;
    case -3:
      return state.lZ;
    default:
      return kAxisCentre;
  }
}

// The digital pad from a point of view, in hundredths of a degree clockwise from up.
uint32_t DigitalPadOfPov(uint32_t pov) {
  if (pov == kPovCentred || pov >= 36000) return 0;
  uint32_t bits = 0;
  if (pov > 27000 || pov < 9000) bits |= kPadDUp;
  if (pov > 0 && pov < 18000) bits |= kPadDRight;
  if (pov > 9000 && pov < 27000) bits |= kPadDDown;
  if (pov > 18000) bits |= kPadDLeft;
  return bits;
}

}  // namespace

int StickOfAxis(int32_t position) {
  const int32_t offset = std::clamp(position, 0, 65535) - kAxisCentre;
  const int32_t beyond = std::abs(offset) - kAxisDeadZone;
  if (beyond <= 0) return 0;
  const int32_t travel = kAxisCentre - 1 - kAxisDeadZone;
  const int32_t scaled = std::min((beyond * kStickRange + travel / 2) / travel, kStickRange);
  return offset < 0 ? -scaled : scaled;
}

uint32_t PadWordOfKeys(const TControllerMap& map, const TKeyStates& keys) {
  uint32_t buttons = 0;
  for (size_t i = 0; i < kButtonBits.size(); ++i)
    if (KeyHeld(keys, map[kFirstButton + i])) buttons |= kButtonBits[i];
  auto direction = [&](int positive, int negative) {
    return (KeyHeld(keys, map[positive]) - KeyHeld(keys, map[negative])) * kStickRange;
  };
  return PadWord(buttons, static_cast<int8_t>(direction(kStickRight, kStickLeft)),
                 static_cast<int8_t>(direction(kStickUp, kStickDown)));
}

uint32_t PadWordOfJoystick(const TControllerMap& map, const TJoyState& state) {
  uint32_t buttons = DigitalPadOfPov(state.rgdwPOV[0]);
  for (size_t i = 0; i < kButtonBits.size(); ++i)
    if (ButtonHeld(state, map[kFirstButton + i])) buttons |= kButtonBits[i];
  // Up/down and left/right each have one axis; a joystick's Y grows downwards.
  const int x = StickOfAxis(AxisPosition(state, map[kStickLeft]));
  const int y = -StickOfAxis(AxisPosition(state, map[kStickUp]));
  return PadWord(buttons, static_cast<int8_t>(x), static_cast<int8_t>(y));
}

TPadFeed::TPadFeed(TInputSystem& input, const TControllerCfg& cfg, QWidget& window)
    : input_(input), cfg_(cfg), window_(window) {
  connect(&timer_, &QTimer::timeout, this, &TPadFeed::Tick);
  window_.installEventFilter(this);
}

TPadFeed::~TPadFeed() {
  PublishPad(0);
}

void TPadFeed::SetRunGoing(bool going) {
  runGoing_ = going;
  Follow();
}

bool TPadFeed::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::WindowActivate || event->type() == QEvent::WindowDeactivate)
    Follow();
  return QObject::eventFilter(watched, event);
}

void TPadFeed::Follow() {
  const bool wanted = runGoing_ && window_.isActiveWindow();
  if (wanted == timer_.isActive()) return;
  if (wanted) {
    timer_.start(kIntervalMs);
    Tick();
  } else {
    timer_.stop();
    PublishPad(0);
  }
}

void TPadFeed::Tick() {
  PublishPad(window_.isActiveWindow() ? ReadDevice() : 0);
}

uint32_t TPadFeed::ReadDevice() {
  if (openGuid_ != cfg_.DeviceGuid) {
    device_.reset();
    openGuid_ = cfg_.DeviceGuid;
    retryTicks_ = 0;
  }
  if (openGuid_ == TGuid{}) return 0;
  if (device_ == nullptr) {
    if (retryTicks_ > 0) {
      --retryTicks_;
      return 0;
    }
    TDevCaps caps;
    if (!Succeeded(input_.CreateDevice(openGuid_, device_)) || device_ == nullptr ||
        !Succeeded(device_->GetCapabilities(caps))) {
      device_.reset();
      retryTicks_ = kRetryTicks;
      return 0;
    }
    devType_ = caps.devType & 0xFF;
  }
  // A pad pulled out fails here; it is looked for again a little later.
  auto lost = [this] {
    device_.reset();
    retryTicks_ = kRetryTicks;
    return 0u;
  };
  if (!Succeeded(device_->Acquire())) return lost();
  if (devType_ == kDevTypeKeyboard) {
    TKeyStates keys{};
    if (!Succeeded(device_->GetKeyboardState(keys))) return lost();
    return PadWordOfKeys(cfg_.Map, keys);
  }
  if (devType_ == kDevTypeJoystick) {
    TJoyState state;
    if (!Succeeded(device_->Poll()) || !Succeeded(device_->GetJoystickState(state))) return lost();
    return PadWordOfJoystick(cfg_.Map, state);
  }
  return 0;
}

}  // namespace vantor::ui
