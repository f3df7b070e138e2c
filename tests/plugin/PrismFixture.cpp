#include "tests/plugin/PrismFixture.h"

#include <X11/Xutil.h>
#include <X11/extensions/Xrender.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "plugin/PrismMessage.h"
#include "tests/support/PixelReference.h"

namespace vantor::test {

MessageCapture::MessageCapture() : path_((dir_.Path() / "messages.txt").string()) {
  if (const char* value = std::getenv(prism::kMessageFileVariable)) previous_ = value;
  setenv(prism::kMessageFileVariable, path_.c_str(), 1);
}

MessageCapture::~MessageCapture() {
  if (previous_)
    setenv(prism::kMessageFileVariable, previous_->c_str(), 1);
  else
    unsetenv(prism::kMessageFileVariable);
}

std::vector<std::string> MessageCapture::Take() {
  std::vector<std::string> messages;
  std::ifstream file(path_);
  for (std::string line; std::getline(file, line);)
    messages.push_back(line);
  file.close();
  std::remove(path_.c_str());
  return messages;
}

TestScreen::TestScreen() : display_(XOpenDisplay(nullptr)) {}

TestScreen::~TestScreen() {
  if (display_ != nullptr) XCloseDisplay(display_);
}

bool TestScreen::HasRender() const {
  int eventBase = 0;
  int errorBase = 0;
  return XRenderQueryExtension(display_, &eventBase, &errorBase);
}

int TestScreen::Depth() const {
  return DefaultDepth(display_, DefaultScreen(display_));
}

bool TestScreen::Convertible() const {
  int count = 0;
  XPixmapFormatValues* formats = XListPixmapFormats(display_, &count);
  int bits = 0;
  for (int i = 0; i < count; ++i)
    if (formats[i].depth == Depth()) bits = formats[i].bits_per_pixel;
  XFree(formats);
  return bits == 16 || bits == 24 || bits == 32;
}

TXWindow TestScreen::MakeWindow(const TRect& rect, unsigned long background, bool inputOnly) {
  const Window root = DefaultRootWindow(display_);
  XSetWindowAttributes attributes{};
  attributes.background_pixel = background;
  attributes.override_redirect = True;
  const Window window =
      inputOnly ? XCreateWindow(display_, root, rect.x, rect.y, unsigned(rect.width),
                                unsigned(rect.height), 0, 0, InputOnly, CopyFromParent,
                                CWOverrideRedirect, &attributes)
                : XCreateWindow(display_, root, rect.x, rect.y, unsigned(rect.width),
                                unsigned(rect.height), 0, CopyFromParent, InputOutput,
                                CopyFromParent, CWBackPixel | CWOverrideRedirect, &attributes);
  XMapRaised(display_, window);
  XSync(display_, False);
  return window;
}

TXWindow TestScreen::DeadWindow() {
  const Window window = MakeWindow({0, 0, 10, 10}, 0);
  XDestroyWindow(display_, window);
  XSync(display_, False);
  return window;
}

void TestScreen::DestroyWindow(TXWindow window) {
  XDestroyWindow(display_, window);
  XSync(display_, False);
}

void TestScreen::MoveWindow(TXWindow window, int x, int y) {
  XMoveWindow(display_, window, x, y);
  XClearWindow(display_, window);
  XSync(display_, False);
}

std::vector<uint32_t> TestScreen::Read(const TRect& area) {
  XSync(display_, False);
  XImage* image = XGetImage(display_, DefaultRootWindow(display_), area.x, area.y,
                            unsigned(area.width), unsigned(area.height), AllPlanes, ZPixmap);
  std::vector<uint32_t> pixels;
  if (image == nullptr) return pixels;
  const Visual* visual = DefaultVisual(display_, DefaultScreen(display_));
  const unsigned long colourBits = visual->red_mask | visual->green_mask | visual->blue_mask;
  for (int y = 0; y < area.height; ++y)
    for (int x = 0; x < area.width; ++x)
      pixels.push_back(uint32_t(XGetPixel(image, x, y) & colourBits));
  XDestroyImage(image);
  return pixels;
}

unsigned long TestScreen::RedMask() const {
  return DefaultVisual(display_, DefaultScreen(display_))->red_mask;
}

uint32_t TestScreen::Expected(uint16_t pixel) const {
  switch (DefaultVisual(display_, DefaultScreen(display_))->red_mask) {
    case 0xF800:
      return Ref565(pixel);
    case 0x7C00:
      return Ref555(pixel);
    default:
      return RefRgb(pixel);
  }
}

std::string CompareScreen(const TestScreen& screen, const TRect& area,
                          const std::vector<uint32_t>& before, const std::vector<uint32_t>& after,
                          const TDrawing& drawing) {
  const size_t pixels = size_t(area.width) * size_t(area.height);
  if (before.size() != pixels || after.size() != pixels) return "the screen could not be read";
  const TRect& target = drawing.target;
  std::ostringstream faults;
  int mismatches = 0;
  for (int y = area.y; y < area.y + area.height; ++y) {
    for (int x = area.x; x < area.x + area.width; ++x) {
      const size_t at = size_t(y - area.y) * size_t(area.width) + size_t(x - area.x);
      bool drawn = target.Contains(x, y) && drawing.clip.Contains(x, y);
      for (const TRect& hidden : drawing.hidden)
        drawn = drawn && !hidden.Contains(x, y);
      uint32_t want = before[at];
      if (drawn) {
        // The frame pixel under the centre of the screen pixel: floor((i + 0.5) * frame / target).
        const int sx = (2 * (x - target.x) + 1) * drawing.frameWidth / (2 * target.width);
        const int sy = (2 * (y - target.y) + 1) * drawing.frameHeight / (2 * target.height);
        want = screen.Expected(
            PixelAt(drawing.frame, size_t(sy) * size_t(drawing.frameWidth) + size_t(sx)));
      }
      if (after[at] != want && ++mismatches <= 5)
        faults << "at " << x << "," << y << (drawn ? " (drawn)" : " (untouched)") << ": 0x"
               << std::hex << after[at] << " instead of 0x" << want << std::dec << "\n";
    }
  }
  if (mismatches > 5) faults << mismatches << " pixels differ\n";
  return faults.str();
}

}  // namespace vantor::test
