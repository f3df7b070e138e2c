#include "memory/Dma.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "common/DebugLog.h"
#include "common/HexText.h"
#include "memory/AddressMap.h"

namespace vantor {

// No storage runs for 4 GB, so asking for at most UINT32_MAX bytes still tells where it ends.
void BlockCopy(std::string_view unit, uint32_t target, uint32_t source, uint64_t length) {
  const auto wanted = static_cast<uint32_t>(std::min<uint64_t>(length, UINT32_MAX));
  const uint32_t bytes = std::min(ContiguousBytes(source, wanted), ContiguousBytes(target, wanted));
  if (bytes < length) DbgAddLine(std::string(unit) + " DMA clipped to " + Hex8(bytes) + " bytes!");
  std::memmove(HostAddress(target), HostAddress(source), bytes);
}

}  // namespace vantor
