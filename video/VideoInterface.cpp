#include "video/VideoInterface.h"

#include "memory/AddressMap.h"

namespace vantor {

alignas(4096) uint8_t VIRegisterPage[4096];

// Until the renderer host exists, the page is plain storage.
uint32_t VIRead(uint32_t, uint32_t offset) {
  return PageWord(VIRegisterPage, offset);
}
void VIWrite(uint32_t, uint32_t offset, uint32_t value) {
  SetPageWord(VIRegisterPage, offset, value);
}

}  // namespace vantor
