// What a ROM file says about itself: the header's fields, the byte order the file was found in,
// its size, and the SHA-256 of the cartridge image.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

#include "ui/RomStream.h"

namespace vantor::ui {

// The three orders a cartridge image comes in, told by its first bytes.
enum class TByteOrder { Unknown, BigEndian, ByteSwapped, WordSwapped };

struct TRomFacts {
  QString name;  // the 20 name bytes up to the first zero, unprintable bytes as '?'
  uint32_t entryPoint = 0;
  uint8_t country = 0;
  QString countryName;
  uint8_t maker = 0;
  QString makerName;
  TByteOrder order = TByteOrder::Unknown;
  uint64_t size = 0;
  uint32_t crc1 = 0;  // the header's two checksums as stored
  uint32_t crc2 = 0;
};

// Reads the facts from a file's bytes as found (any of the three orders; a short file reads its
// missing header bytes as zero).
TRomFacts ReadRomFacts(const TRomStream& fileBytes);

// "Big-endian (80 37 12 40, .z64)" and the like.
QString ByteOrderText(TByteOrder order);

// The SHA-256 of the cartridge image in its big-endian order, the same for every file of one
// cartridge, from the main window's copy in the host word layout (every 32-bit unit reversed).
QByteArray ImageSha256(const TRomStream& hostWords);

}  // namespace vantor::ui
