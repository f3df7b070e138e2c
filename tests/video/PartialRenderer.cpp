// A renderer library that lacks most of its functions, for the host's binding tests.
#include "video/RenderPlugInfo.h"

namespace {
const vantor::TRendererInfo kInfo = {"partial", "tests", 1, 0};
}  // namespace

extern "C" [[gnu::visibility("default")]] const vantor::TRendererInfo* LoadRenderer(int32_t) {
  return &kInfo;
}

extern "C" [[gnu::visibility("default")]] int32_t Flip(const void*) {
  return 0;
}
