// The copies the PI and SI registers start: plain host bytes between two emulated addresses.
#pragma once

#include <cstdint>
#include <string_view>

namespace vantor {

// Where the DMA engines see physical memory: the unmapped segment at 0x80000000.
inline constexpr uint32_t kPhysicalView = 0x80000000;

// Host bytes from the storage behind `source` to that behind `target`, moved as by memmove. A
// transfer that would run off either storage is cut where the first one ends, with a line naming
// the unit.
void BlockCopy(std::string_view unit, uint32_t target, uint32_t source, uint64_t length);

}  // namespace vantor
