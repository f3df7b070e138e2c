#include "cli/HeadlessRenderer.h"

#include <cstring>

namespace vantor::cli {

namespace {

// Frames larger than this are refused: no console draws them and the copy stays bounded.
constexpr int32_t kMaxSide = 4096;

const TRendererInfo kInfo = {"Vantor64 headless renderer", "Vantor64 developers", 2, 0x20261208};

int32_t width = 0;
int32_t height = 0;
TFrameCopy lastFrame;

extern "C" const TRendererInfo* Load(int32_t requestedVersion) {
  return requestedVersion > kRendererInterfaceVersion ? nullptr : &kInfo;
}

extern "C" void Unload() {
  width = height = 0;
}

extern "C" int32_t Init(int32_t newWidth, int32_t newHeight, TWindowHandle, TWindowHandle) {
  if (newWidth <= 0 || newHeight <= 0 || newWidth > kMaxSide || newHeight > kMaxSide) return 0;
  width = newWidth;
  height = newHeight;
  return 1;
}

extern "C" void DeInit() {
  width = height = 0;
}

extern "C" void SetTarget(int32_t, int32_t, int32_t, int32_t) {}

extern "C" int32_t Flip(const void* frameBuffer) {
  if (width == 0) return 1;
  const size_t pixels = size_t(width) * size_t(height);
  lastFrame.width = width;
  lastFrame.height = height;
  lastFrame.rgba.clear();
  lastFrame.words.assign((pixels + 1) / 2, 0);
  std::memcpy(lastFrame.words.data(), frameBuffer, pixels / 2 * 4);
  if (pixels % 2 != 0) {
    // Only the upper half of the last word belongs to the frame: it lies at host bytes 2 and 3.
    uint16_t last;
    std::memcpy(&last, static_cast<const uint8_t*>(frameBuffer) + pixels / 2 * 4 + 2, 2);
    lastFrame.words.back() = uint32_t{last} << 16;
  }
  return 0;
}

extern "C" int32_t FlipFrame(const TFrameDescription* frame) {
  if (width == 0 || frame->Width != width || frame->Height != height) return 1;
  const bool rgba = frame->Format == kFrameRgba8888;
  lastFrame.width = width;
  lastFrame.height = height;
  lastFrame.words.clear();
  lastFrame.rgba.clear();
  const auto* pixels = static_cast<const uint8_t*>(frame->Pixels);
  for (int32_t y = 0; y < height; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(pixels + size_t(y) * frame->StrideBytes);
    if (rgba) {
      lastFrame.rgba.insert(lastFrame.rgba.end(), row, row + width);
      continue;
    }
    // Rows start at a word: pack them pixel after pixel as Flip's frames are.
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t pixel = x % 2 == 0 ? row[x / 2] >> 16 : row[x / 2] & 0xFFFF;
      const size_t index = size_t(y) * size_t(width) + size_t(x);
      if (index % 2 == 0)
        lastFrame.words.push_back(pixel << 16);
      else
        lastFrame.words.back() |= pixel;
    }
  }
  return 0;
}

}  // namespace

TRendererEntries HeadlessRendererEntries() {
  TRendererEntries entries;
  entries.LoadRenderer = Load;
  entries.UnloadRenderer = Unload;
  entries.InitRenderer = Init;
  entries.DeInitRenderer = DeInit;
  entries.SetTargetRect = SetTarget;
  entries.Flip = Flip;
  entries.FlipFrame = FlipFrame;
  return entries;
}

const TFrameCopy& LastFrame() {
  return lastFrame;
}

}  // namespace vantor::cli
