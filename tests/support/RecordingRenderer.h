// A renderer that records every call the host makes, in order, for tests of the calling order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "video/RendererHost.h"

namespace vantor::test {

// Binds the recorder as the built-in renderer and forgets earlier calls.
void BindRecordingRenderer();
// The calls so far, e.g. "Load 1", "Init 320x240", "Target 10,20,640,480", "Flip".
std::vector<std::string> RecordedCalls();
// What the next InitRenderer calls return (1 by default).
void SetInitResult(int32_t result);
// The frame buffer address the last Flip received.
const void* LastFlippedFrame();

}  // namespace vantor::test
