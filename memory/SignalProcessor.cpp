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
  DMEMPage->Clear();
  if (bootBytes != 0) std::memcpy(DMEMPage->Data, RomImage->Data, bootBytes);
}

void ImemReset() {
  IMEMPage->Clear();
}

void SpRegistersReset() {
  SPRegisterPage->Clear();
}

void SpPcReset() {
  SPPCPage->Clear();
}

}  // namespace vantor
