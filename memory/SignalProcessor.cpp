#include "memory/SignalProcessor.h"

#include <algorithm>
#include <cstring>

#include "memory/RomImage.h"

namespace vantor {

TMemoryHandler* DMEMPage = nullptr;
TMemoryHandler* IMEMPage = nullptr;
TMemoryHandler* SPRegisterPage = nullptr;
TMemoryHandler* SPPCPage = nullptr;

void DmemReset() {
  const uint32_t bootBytes = RomImage != nullptr ? std::min(RomImage->Size, DMEMPage->Size) : 0;
  std::memset(DMEMPage->Data, 0, DMEMPage->Size);
  if (bootBytes != 0) std::memcpy(DMEMPage->Data, RomImage->Data, bootBytes);
}

void ImemReset() {
  std::memset(IMEMPage->Data, 0, IMEMPage->Size);
}

void SpRegistersReset() {
  std::memset(SPRegisterPage->Data, 0, SPRegisterPage->Size);
}

void SpPcReset() {
  std::memset(SPPCPage->Data, 0, SPPCPage->Size);
}

}  // namespace vantor
