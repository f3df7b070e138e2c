// The plug-in's exports: exactly these seven plain C functions are visible outside the library
// (everything else is built with hidden visibility); SetPalette and SetPaletteIndex are absent.
#include <type_traits>

#include "plugin/Prism.h"
#include "video/RenderPlugInfo.h"

using vantor::TRendererInfo;
using vantor::TWindowHandle;

extern "C" {

[[gnu::visibility("default")]] const TRendererInfo* LoadRenderer(int32_t requestedVersion) {
  return vantor::prism::Load(requestedVersion);
}

[[gnu::visibility("default")]] void UnloadRenderer() {
  vantor::prism::Unload();
}

[[gnu::visibility("default")]] int32_t InitRenderer(int32_t width, int32_t height,
                                                    TWindowHandle coopWindow,
                                                    TWindowHandle clipWindow) {
  return vantor::prism::Init(width, height, coopWindow, clipWindow);
}

[[gnu::visibility("default")]] void DeInitRenderer() {
  vantor::prism::DeInit();
}

[[gnu::visibility("default")]] void SetTargetRect(int32_t left, int32_t top, int32_t width,
                                                  int32_t height) {
  vantor::prism::SetTargetRect(left, top, width, height);
}

[[gnu::visibility("default")]] int32_t Flip(const void* frameBuffer) {
  return vantor::prism::Flip(frameBuffer);
}

[[gnu::visibility("default")]] int32_t FlipFrame(const vantor::TFrameDescription* frame) {
  return vantor::prism::FlipFrame(frame);
}

}  // extern "C"

static_assert(std::is_same_v<decltype(&LoadRenderer), vantor::TLoadRenderer>);
static_assert(std::is_same_v<decltype(&UnloadRenderer), vantor::TUnloadRenderer>);
static_assert(std::is_same_v<decltype(&InitRenderer), vantor::TInitRenderer>);
static_assert(std::is_same_v<decltype(&DeInitRenderer), vantor::TDeInitRenderer>);
static_assert(std::is_same_v<decltype(&SetTargetRect), vantor::TSetTargetRect>);
static_assert(std::is_same_v<decltype(&Flip), vantor::TFlip>);
static_assert(std::is_same_v<decltype(&FlipFrame), vantor::TFlipFrame>);
