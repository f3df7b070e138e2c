#include "ui/RomInfo.h"

#include <QCryptographicHash>
#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

#include "memory/RomImage.h"

namespace vantor::ui {

namespace {

uint32_t BigEndianWord(const std::array<uint8_t, 64>& header, size_t at) {
  return uint32_t{header[at]} << 24 | uint32_t{header[at + 1]} << 16 |
         uint32_t{header[at + 2]} << 8 | header[at + 3];
}

QString NameText(const std::array<uint8_t, 64>& header) {
  QString text;
  for (size_t i = 32; i < 52 && header[i] != 0; ++i) {
    const QChar c = QChar::fromLatin1(static_cast<char>(header[i]));
    text += c.isPrint() ? c : QChar(u'?');
  }
  return text.trimmed();
}

// The main window's swaps report their progress on the status bar; these are quiet.
void SwapHalfwordBytes(TRomStream& bytes) {
  for (size_t i = 0; i + 2 <= bytes.size(); i += 2)
    std::swap(bytes[i], bytes[i + 1]);
}

void ReverseWords(TRomStream& bytes) {
  for (size_t i = 0; i + 4 <= bytes.size(); i += 4)
    std::reverse(bytes.begin() + static_cast<std::ptrdiff_t>(i),
                 bytes.begin() + static_cast<std::ptrdiff_t>(i + 4));
}

QString CodeName(std::string_view name) {
  if (name == kNoName) return QStringLiteral("unknown");
  return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

}  // namespace

TRomFacts ReadRomFacts(const TRomStream& fileBytes) {
  TRomFacts facts;
  facts.size = fileBytes.size();
  TRomStream head(fileBytes.begin(),
                  fileBytes.begin() + static_cast<std::ptrdiff_t>(
                                          std::min<size_t>(fileBytes.size(), kRomHeaderSize)));
  head.resize(kRomHeaderSize, 0);
  if (head[0] == 0x80 && head[1] == 0x37) {
    facts.order = TByteOrder::BigEndian;
  } else if (head[0] == 0x37 && head[1] == 0x80) {
    facts.order = TByteOrder::ByteSwapped;
    SwapHalfwordBytes(head);
  } else if (head[0] == 0x40 && head[1] == 0x12) {
    facts.order = TByteOrder::WordSwapped;
    ReverseWords(head);
  }
  std::array<uint8_t, 64> header{};
  std::copy(head.begin(), head.end(), header.begin());
  facts.name = NameText(header);
  facts.entryPoint = BigEndianWord(header, 8);
  facts.crc1 = BigEndianWord(header, 16);
  facts.crc2 = BigEndianWord(header, 20);
  facts.maker = header[59];
  facts.makerName = CodeName(MakerName(facts.maker));
  facts.country = header[62];
  facts.countryName = CodeName(CountryName(facts.country));
  return facts;
}

QString ByteOrderText(TByteOrder order) {
  switch (order) {
    case TByteOrder::BigEndian:
      return QStringLiteral("Big-endian (80 37 12 40, .z64)");
    case TByteOrder::ByteSwapped:
      return QStringLiteral("Byte-swapped (37 80 40 12, .v64)");
    case TByteOrder::WordSwapped:
      return QStringLiteral("Little-endian (40 12 37 80, .n64)");
    case TByteOrder::Unknown:
      break;
  }
  return QStringLiteral("Unknown");
}

QByteArray ImageSha256(const TRomStream& hostWords) {
  QCryptographicHash hash(QCryptographicHash::Sha256);
  // Chunks of whole units, turned back to the cartridge's order one at a time; the one to three
  // bytes after the last whole unit were never reordered.
  constexpr size_t kChunk = 64 * 1024;
  TRomStream chunk;
  for (size_t at = 0; at < hostWords.size(); at += kChunk) {
    const size_t length = std::min(kChunk, hostWords.size() - at);
    chunk.assign(hostWords.begin() + static_cast<std::ptrdiff_t>(at),
                 hostWords.begin() + static_cast<std::ptrdiff_t>(at + length));
    ReverseWords(chunk);
    hash.addData(QByteArrayView(reinterpret_cast<const char*>(chunk.data()),
                                static_cast<qsizetype>(chunk.size())));
  }
  return hash.result();
}

}  // namespace vantor::ui
