// The controller as the emulated machine sees it, taken from the device the controller window
// assigned: the rules that turn a keyboard's or a joystick's state into the controller word,
// and the feed that publishes that word while a run goes and the main window has the focus.
#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <memory>

#include "ui/ControllerCfg.h"

class QWidget;

namespace vantor::ui {

// Full deflection of the stick, and the part of a joystick axis's half travel around the centre
// that counts as the stick at rest.
inline constexpr int kStickRange = 80;
inline constexpr int32_t kAxisDeadZone = 2600;

// The controller word from a keyboard: keys by their codes in the map, the stick from the four
// direction keys at full deflection (opposite keys cancel).
uint32_t PadWordOfKeys(const TControllerMap& map, const TKeyStates& keys);
// From a joystick: buttons by number, the stick from the assigned axes scaled to the stick's
// range; the digital pad also from the first point of view.
uint32_t PadWordOfJoystick(const TControllerMap& map, const TJoyState& state);
// An axis position (0 to 65535, centre 32768) on the stick's scale, right or down positive.
int StickOfAxis(int32_t position);

class TPadFeed : public QObject {
  Q_OBJECT

 public:
  // Reads the device `cfg` names, as it names it at each look; `window` is the main window.
  TPadFeed(TInputSystem& input, const TControllerCfg& cfg, QWidget& window);
  ~TPadFeed() override;

  static constexpr int kIntervalMs = 8;
  // The device is looked at every few milliseconds only while a run goes and the main window is
  // active; otherwise the controller rests and the program takes no time between events.
  void SetRunGoing(bool going);
  bool Looking() const { return timer_.isActive(); }
  // One look: publishes the controller word, or the controller at rest while the main window is
  // not active or the device cannot be read.
  void Tick();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  uint32_t ReadDevice();
  // Starts or stops the looks as the run and the window's activation say.
  void Follow();

  TInputSystem& input_;
  const TControllerCfg& cfg_;
  QWidget& window_;
  bool runGoing_ = false;
  QTimer timer_;
  std::unique_ptr<TInputDevice> device_;
  TGuid openGuid_{};
  uint32_t devType_ = kDevTypeNone;
  int retryTicks_ = 0;  // looks left before a device that failed is opened again
};

}  // namespace vantor::ui
