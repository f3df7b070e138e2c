// What the plug-in tests share: a capture of the plug-in's messages, the test's own connection to
// the X server for making windows and reading the screen back, and random frames.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/PixelReference.h"
#include "tests/support/TempDir.h"

// Xlib's types, declared here without its macros (None, Status ...) that clash with GoogleTest.
struct _XDisplay;

namespace vantor::test {

using TXWindow = unsigned long;

// Routes the plug-in's messages into a file of its own while it lives (never a dialog).
class MessageCapture {
 public:
  MessageCapture();
  ~MessageCapture();
  MessageCapture(const MessageCapture&) = delete;
  MessageCapture& operator=(const MessageCapture&) = delete;

  // The messages shown since the last call.
  std::vector<std::string> Take();

 private:
  TempDir dir_;
  std::string path_;
  std::optional<std::string> previous_;
};

struct TRect {
  int x, y, width, height;
  bool Contains(int px, int py) const {
    return px >= x && py >= y && px < x + width && py < y + height;
  }
};

class TestScreen {
 public:
  TestScreen();
  ~TestScreen();
  TestScreen(const TestScreen&) = delete;
  TestScreen& operator=(const TestScreen&) = delete;

  bool Open() const { return display_ != nullptr; }
  bool HasRender() const;
  int Depth() const;
  // Whether the screen's pixel size is one the plug-in converts to.
  bool Convertible() const;

  // A mapped top-level window without border, on top of those made before.
  TXWindow MakeWindow(const TRect& rect, unsigned long background, bool inputOnly = false);
  // The id of a window that existed and is gone.
  TXWindow DeadWindow();
  void DestroyWindow(TXWindow window);
  // Moves a window made by MakeWindow and clears it to its background.
  void MoveWindow(TXWindow window, int x, int y);

  // Root-window pixels of the area, row by row, reduced to the visual's colour bits.
  std::vector<uint32_t> Read(const TRect& area);
  // The red mask of the screen's visual: 0xF800 at depth 16, 0x7C00 at 15.
  unsigned long RedMask() const;
  // The screen pixel the plug-in should make of a source pixel, from the plain reference.
  uint32_t Expected(uint16_t pixel) const;

 private:
  _XDisplay* display_;
};

// Where a frame went: stretched onto `target`, drawn only inside `clip` and outside `hidden`.
struct TDrawing {
  const std::vector<uint32_t>& frame;
  int frameWidth, frameHeight;
  TRect target;
  TRect clip;
  std::vector<TRect> hidden;
};

// Checks the screen pixels `after` of `area`: the nearest frame pixel where the frame was drawn,
// the pixels `before` everywhere else. Returns the first mismatches, empty when all agree.
std::string CompareScreen(const TestScreen& screen, const TRect& area,
                          const std::vector<uint32_t>& before, const std::vector<uint32_t>& after,
                          const TDrawing& drawing);

}  // namespace vantor::test
