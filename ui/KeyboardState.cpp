#include "ui/KeyboardState.h"

#include <QKeyEvent>
#include <algorithm>
#include <array>
#include <utility>

namespace vantor::ui {

namespace {

// Linux input codes 1 to 88 (Esc to F12) are the set-1 scan codes themselves; 84 and 85 have no
// key on PC keyboards. The keys beyond, most of them extended, by their Linux input code.
constexpr std::array<std::pair<uint16_t, uint8_t>, 33> kExtendedKeys{{
    {89, 115},   // Ro (Brazilian /?)
    {92, 121},   // Henkan (convert)
    {93, 112},   // Katakana/Hiragana
    {94, 123},   // Muhenkan (no convert)
    {96, 156},   // keypad Enter
    {97, 157},   // right Ctrl
    {98, 181},   // keypad /
    {99, 183},   // Print Screen
    {100, 184},  // right Alt
    {102, 199},  // Home
    {103, 200},  // Up
    {104, 201},  // Page Up
    {105, 203},  // Left
    {106, 205},  // Right
    {107, 207},  // End
    {108, 208},  // Down
    {109, 209},  // Page Down
    {110, 210},  // Insert
    {111, 211},  // Delete
    {113, 160},  // Mute
    {114, 174},  // Volume Down
    {115, 176},  // Volume Up
    {116, 222},  // Power
    {117, 141},  // keypad =
    {119, 197},  // Pause
    {121, 179},  // keypad ,
    {124, 125},  // Yen
    {125, 219},  // left Windows
    {126, 220},  // right Windows
    {127, 221},  // Menu
    {183, 100},  // F13
    {184, 101},  // F14
    {185, 102},  // F15
}};

constexpr uint32_t kX11KeycodeOffset = 8;

}  // namespace

uint8_t KeyCodeOfX11Key(uint32_t x11Keycode) {
  if (x11Keycode <= kX11KeycodeOffset) return 0;
  const uint32_t input = x11Keycode - kX11KeycodeOffset;
  if (input <= 88) return input == 84 || input == 85 ? 0 : static_cast<uint8_t>(input);
  const auto* key = std::find_if(kExtendedKeys.begin(), kExtendedKeys.end(),
                                 [input](const auto& entry) { return entry.first == input; });
  return key == kExtendedKeys.end() ? 0 : key->second;
}

void TKeyboardState::InstallOn(QObject* application) {
  application->installEventFilter(this);
}

bool TKeyboardState::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
      const auto* key = static_cast<QKeyEvent*>(event);
      // Auto-repeat sends release and press pairs while the key stays held.
      if (key->isAutoRepeat()) break;
      const uint8_t code = KeyCodeOfX11Key(key->nativeScanCode());
      if (code == 0) break;
      if (event->type() == QEvent::KeyPress)
        Press(code);
      else
        Release(code);
      break;
    }
    case QEvent::ApplicationDeactivate:
      ReleaseAll();
      break;
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace vantor::ui
