#include "memory/PlainPages.h"

#include <string>

#include "common/AccurateOnly.h"
#include "common/DebugLog.h"
#include "common/HexText.h"
#include "common/MachineState.h"
#include "memory/AddressMap.h"

namespace vantor {

TMemoryHandler* RDRAM = nullptr;
uint32_t RdramBytes = kRdramSize;
TMemoryHandler* RDRAMRegisterPage = nullptr;
TMemoryHandler* PIFPage = nullptr;
TMemoryHandler* DummyPage = nullptr;

namespace {

// The address accessed, as 8 digits (page and offset). A double word's second half at offsets
// 0xFFC to 0xFFF arrives with an offset past 0xFFF: it names the next page's first bytes.
std::string PageAndOffset(uint32_t page, uint32_t offset) {
  return Hex8((page << 12) + offset);
}

// The display processor's command and span registers, 0x04100000 to 0x042FFFFF, through either
// unmapped segment.
void NoteIfDisplayProcessor(uint32_t page) {
  const uint32_t physical = page & 0x1FFFF;
  if (page >= 0x80000 && page < 0xC0000 && physical >= 0x04100 && physical < 0x04300)
    NoteAccurateOnlyHardware("the display processor's registers");
}

}  // namespace

void RdramReset() {
  RDRAM->Clear();
  RdramBytes = kRdramSize;
}

void RdramRegistersReset() {
  RDRAMRegisterPage->Clear();
}

void PifReset() {
  PIFPage->Clear();
}

uint32_t RamRead(uint32_t page, uint32_t offset) {
  return PageWord(PageTable[page], offset);
}

void RamWrite(uint32_t page, uint32_t offset, uint32_t value) {
  SetPageWord(PageTable[page], offset, value);
}

uint32_t NullRead(uint32_t, uint32_t) {
  NoteAccurateOnlyHardware("the signal processor's registers");
  return 0;
}

void NullWrite(uint32_t, uint32_t, uint32_t) {
  NoteAccurateOnlyHardware("the signal processor's registers");
}

// Handlers of their own, so that the accurate mode finds the RI's pages by them.
uint32_t RIRead(uint32_t, uint32_t) {
  return 0;
}

void RIWrite(uint32_t, uint32_t, uint32_t) {}

uint32_t IllegalRead(uint32_t page, uint32_t offset) {
  NoteIfDisplayProcessor(page);
  DbgAddLine("ILLEGAL READ from " + PageAndOffset(page, offset) + " PC: " + Hex8(PC.Lo));
  return 0;
}

void IllegalWrite(uint32_t page, uint32_t offset, uint32_t value) {
  NoteIfDisplayProcessor(page);
  DbgAddLine("ILLEGAL WRITE " + Hex8(value) + " to " + PageAndOffset(page, offset) +
             " PC: " + Hex8(PC.Lo));
}

void RomWrite(uint32_t page, uint32_t offset, uint32_t value) {
  DbgAddLine("ROM WRITE " + Hex8(value) + " to " + PageAndOffset(page, offset));
}

}  // namespace vantor
