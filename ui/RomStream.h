// Byte-order helpers of the main window's second read of a ROM file. Each passes over whole
// units only; one to three trailing bytes are left as they are.
#pragma once

#include <cstdint>
#include <vector>

namespace vantor {

using TRomStream = std::vector<uint8_t>;

// Exchanges the two bytes of every 16-bit unit.
void ByteSwap(TRomStream& stream);
// Exchanges the two 16-bit halves of every 32-bit unit, then runs ByteSwap.
void WordSwap(TRomStream& stream);
// Reverses the four bytes of every 32-bit unit.
void LongSwap(TRomStream& stream);

}  // namespace vantor
