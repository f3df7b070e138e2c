#include "memory/PeripheralRegisters.h"

#include "memory/AddressMap.h"

namespace vantor {

alignas(4096) uint8_t AIRegisterPage[4096];

// Until the interfaces are modelled, each range behaves as plain storage of its page.
uint32_t MIRead(uint32_t page, uint32_t offset) {
  return RamRead(page, offset);
}
void MIWrite(uint32_t page, uint32_t offset, uint32_t value) {
  RamWrite(page, offset, value);
}
uint32_t AIRead(uint32_t page, uint32_t offset) {
  return RamRead(page, offset);
}
void AIWrite(uint32_t page, uint32_t offset, uint32_t value) {
  RamWrite(page, offset, value);
}
uint32_t PIRead(uint32_t page, uint32_t offset) {
  return RamRead(page, offset);
}
void PIWrite(uint32_t page, uint32_t offset, uint32_t value) {
  RamWrite(page, offset, value);
}
uint32_t SIRead(uint32_t page, uint32_t offset) {
  return RamRead(page, offset);
}
void SIWrite(uint32_t page, uint32_t offset, uint32_t value) {
  RamWrite(page, offset, value);
}

}  // namespace vantor
