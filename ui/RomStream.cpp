#include "ui/RomStream.h"

#include <utility>

#include "common/Host.h"

namespace vantor {

void ByteSwap(TRomStream& stream) {
  SetStatusText("Byteswapping...");
  for (size_t i = 0; i + 2 <= stream.size(); i += 2)
    std::swap(stream[i], stream[i + 1]);
  SetStatusText("Byteswapping  clear");
}

void WordSwap(TRomStream& stream) {
  SetStatusText("Wordswapping...");
  for (size_t i = 0; i + 4 <= stream.size(); i += 4) {
    std::swap(stream[i], stream[i + 2]);
    std::swap(stream[i + 1], stream[i + 3]);
  }
  SetStatusText("Wordswapping  clear");
  ByteSwap(stream);
}

void LongSwap(TRomStream& stream) {
  for (size_t i = 0; i + 4 <= stream.size(); i += 4) {
    std::swap(stream[i], stream[i + 3]);
    std::swap(stream[i + 1], stream[i + 2]);
  }
  SetStatusText("Ready!!!");
}

}  // namespace vantor
