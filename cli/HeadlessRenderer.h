// A renderer built into the runner: it draws nowhere and keeps a copy of the last frame, taking
// described frames (version 2) in either pixel format.
#pragma once

#include <cstdint>
#include <vector>

#include "video/RendererHost.h"

namespace vantor::cli {

struct TFrameCopy {
  int32_t width = 0;
  int32_t height = 0;
  // The frame's host words as Flip received them: two 5-5-5-1 pixels each, the first in bits
  // 31-16; an odd last pixel stands alone in the upper half of the last word. Empty when the
  // frame came with 8-8-8-8 pixels.
  std::vector<uint32_t> words;
  // The 8-8-8-8 pixels of a described frame, one a word, rows packed.
  std::vector<uint32_t> rgba;
};

// The entries to bind with BindBuiltInRenderer.
TRendererEntries HeadlessRendererEntries();

// The last presented frame; empty when nothing was presented.
const TFrameCopy& LastFrame();

}  // namespace vantor::cli
