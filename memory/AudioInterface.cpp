#include "memory/AudioInterface.h"

#include <cstring>

#include "common/MachineState.h"
#include "memory/AddressMap.h"

namespace vantor {

alignas(4096) uint8_t AIRegisterPage[4096];

namespace {

enum : uint32_t {
  AI_DRAM_ADDR = 0,
  AI_LEN = 4,
  AI_CONTROL = 8,
  AI_STATUS = 12,
  AI_DACRATE = 16,
  AI_BITRATE = 20,
};

}  // namespace

void AIReset() {
  std::memset(AIRegisterPage, 0, sizeof AIRegisterPage);
}

uint32_t AIRead(uint32_t, uint32_t offset) {
  switch (offset) {
    case AI_DRAM_ADDR:
    case AI_STATUS:
      return PageWord(AIRegisterPage, offset);
    default:
      return 0;
  }
}

void AIWrite(uint32_t, uint32_t offset, uint32_t value) {
  switch (offset) {
    case AI_LEN:
    case AI_CONTROL:
    case AI_DACRATE:
      SetPageWord(AIRegisterPage, offset, value);
      break;
    case AI_STATUS:
      *MI_INTR &= ~kMiIntrAI;
      break;
    case AI_BITRATE:
      *MI_INTR |= kMiIntrAI;
      SetPageWord(AIRegisterPage, offset, value);
      break;
    default:
      break;
  }
}

}  // namespace vantor
