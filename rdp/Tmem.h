// TMEM's three loads from the texture image in RDRAM. Each returns the display processor cycles
// it took. Internal to rdp/.
#pragma once

#include <cstdint>

namespace vantor::rdp {

// Texels sl..sh of rows tl..th (10.2 coordinates) into the tile's rows of TMEM, odd rows with
// their 32-bit halves swapped; sets the tile's size.
uint64_t LoadTile(uint32_t tile, uint32_t sl, uint32_t tl, uint32_t sh, uint32_t th);
// Texels sl..sh (whole texels, at most 2048) from row tl on as one run of 64-bit words; the
// row counter advances by dxt (1.11) each word and swaps the halves of words on odd rows.
uint64_t LoadBlock(uint32_t tile, uint32_t sl, uint32_t tl, uint32_t sh, uint32_t dxt);
// Palette entries sl..sh (10.2) of row tl, each 16-bit entry written four times into one
// 64-bit word of TMEM.
uint64_t LoadTlut(uint32_t tile, uint32_t sl, uint32_t tl, uint32_t sh);

}  // namespace vantor::rdp
