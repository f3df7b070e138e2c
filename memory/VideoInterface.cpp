#include "memory/VideoInterface.h"

#include <atomic>
#include <cstring>
#include <string>

#include "common/AccurateOnly.h"
#include "common/DebugLog.h"
#include "common/MachineState.h"
#include "memory/AddressMap.h"

namespace vantor {

alignas(4096) uint8_t VIRegisterPage[4096];

namespace {
std::atomic<TResolutionChange> resolutionChange{nullptr};
}  // namespace

void SetResolutionChange(TResolutionChange change) {
  resolutionChange.store(change);
}

void NotifyResolution(int32_t width, int32_t height) {
  DbgAddLine("Resolution set to " + std::to_string(width) + "x" + std::to_string(height));
  if (TResolutionChange change = resolutionChange.load()) change(width, height);
}

void VIReset() {
  std::memset(VIRegisterPage, 0, sizeof VIRegisterPage);
}

uint32_t VIRead(uint32_t, uint32_t offset) {
  return PageWord(VIRegisterPage, offset);
}

void VIWrite(uint32_t, uint32_t offset, uint32_t value) {
  // A misaligned word is still stored, at the byte offset given, as far as the page reaches.
  if (offset % 4 != 0) DbgAddLine("Misaligned VI write!");
  switch (offset) {
    case kViWidth: {
      if (value == PageWord(VIRegisterPage, kViWidth)) return;
      const auto width = static_cast<int32_t>(value);
      NotifyResolution(width, static_cast<int32_t>(int64_t{width} * 3 / 4));
      break;
    }
    case kViVCurrent:
      *MI_INTR &= ~kMiIntrVI;
      break;
    case kViStatus:
      // Pixel type 3: 8-8-8-8, a picture the default machine never shows.
      if ((value & 3) == 3) NoteAccurateOnlyHardware("a 32-bit picture");
      break;
    default:
      break;
  }
  SetPageWord(VIRegisterPage, offset, value);
}

uint32_t VIOrigin() {
  return PageWord(VIRegisterPage, kViOrigin);
}

}  // namespace vantor
