#include "common/StateFile.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <system_error>

namespace vantor {

namespace {

constexpr char kMagic[8] = {'V', '6', '4', 'S', 'T', 'A', 'T', 'E'};
constexpr size_t kVersionField = 16;
constexpr size_t kHeaderSize = 8 + 4 + 20 + 32 + kVersionField + 4;
constexpr size_t kChecksumSize = 4;
// No machine section comes near this; a larger claim is damage, not something to allocate.
constexpr uint32_t kMaxRawSection = 256u << 20;

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint32_t Crc32(std::span<const uint8_t> bytes) {
  uLong crc = crc32(0, Z_NULL, 0);
  for (size_t done = 0; done < bytes.size();) {
    const auto chunk = static_cast<uInt>(std::min<size_t>(bytes.size() - done, 1u << 30));
    crc = crc32(crc, bytes.data() + done, chunk);
    done += chunk;
  }
  return static_cast<uint32_t>(crc);
}

// Reads the container front to back; every read checks that its bytes are there.
class TReader {
 public:
  explicit TReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  bool Has(size_t count) const { return bytes_.size() - at_ >= count; }
  uint8_t U8() { return bytes_[at_++]; }
  uint32_t U32() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
      value |= uint32_t{bytes_[at_++]} << (8 * i);
    return value;
  }
  std::span<const uint8_t> Take(size_t count) {
    const auto part = bytes_.subspan(at_, count);
    at_ += count;
    return part;
  }

 private:
  std::span<const uint8_t> bytes_;
  size_t at_ = 0;
};

std::string SystemError(int error) {
  return std::generic_category().message(error);
}

}  // namespace

const TStateSection* TStateImage::Find(const std::string& name) const {
  for (const TStateSection& section : Sections)
    if (section.Name == name) return &section;
  return nullptr;
}

std::vector<uint8_t> EncodeState(const TStateImage& image) {
  std::vector<uint8_t> out(kMagic, kMagic + sizeof kMagic);
  PutU32(out, kStateFormatVersion);
  out.insert(out.end(), image.Identity.RomName.begin(), image.Identity.RomName.end());
  out.insert(out.end(), image.Identity.RomHash.begin(), image.Identity.RomHash.end());
  std::array<uint8_t, kVersionField> version{};
  std::memcpy(version.data(), image.Identity.ProgramVersion.data(),
              std::min(image.Identity.ProgramVersion.size(), kVersionField));
  out.insert(out.end(), version.begin(), version.end());
  PutU32(out, static_cast<uint32_t>(image.Sections.size()));
  for (const TStateSection& section : image.Sections) {
    out.push_back(static_cast<uint8_t>(section.Name.size()));
    out.insert(out.end(), section.Name.begin(), section.Name.end());
    PutU32(out, section.Version);
    PutU32(out, static_cast<uint32_t>(section.Data.size()));
    uLongf stored = compressBound(section.Data.size());
    std::vector<uint8_t> packed(stored);
    compress2(packed.data(), &stored, section.Data.data(), section.Data.size(), Z_BEST_SPEED);
    PutU32(out, static_cast<uint32_t>(stored));
    out.insert(out.end(), packed.begin(), packed.begin() + static_cast<ptrdiff_t>(stored));
  }
  PutU32(out, Crc32(out));
  return out;
}

std::optional<TStateImage> DecodeState(std::span<const uint8_t> bytes, std::string& error) {
  if (bytes.size() < sizeof kMagic || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) {
    error = "it is not a Vantor64 save state";
    return std::nullopt;
  }
  if (bytes.size() < kHeaderSize + kChecksumSize) {
    error = "the file is truncated";
    return std::nullopt;
  }
  TReader reader(bytes);
  reader.Take(sizeof kMagic);
  const uint32_t format = reader.U32();
  if (format != kStateFormatVersion) {
    error = "it was written in state format " + std::to_string(format) +
            ", and this program reads format " + std::to_string(kStateFormatVersion);
    return std::nullopt;
  }
  const auto body = bytes.first(bytes.size() - kChecksumSize);
  TReader tail(bytes.last(kChecksumSize));
  if (Crc32(body) != tail.U32()) {
    error = "the file is truncated or damaged (its checksum does not match)";
    return std::nullopt;
  }

  reader = TReader(body);
  reader.Take(sizeof kMagic + 4);
  TStateImage image;
  const auto name = reader.Take(20);
  std::memcpy(image.Identity.RomName.data(), name.data(), name.size());
  const auto hash = reader.Take(32);
  std::memcpy(image.Identity.RomHash.data(), hash.data(), hash.size());
  const auto version = reader.Take(kVersionField);
  image.Identity.ProgramVersion.assign(
      reinterpret_cast<const char*>(version.data()),
      strnlen(reinterpret_cast<const char*>(version.data()), kVersionField));
  const uint32_t count = reader.U32();
  const auto damaged = [&error](const std::string& what) {
    error = "the file is damaged (" + what + ")";
    return std::nullopt;
  };
  for (uint32_t i = 0; i < count; ++i) {
    if (!reader.Has(1)) return damaged("a section is missing");
    const uint8_t nameSize = reader.U8();
    if (nameSize == 0 || !reader.Has(nameSize + 12u)) return damaged("a section header is cut");
    TStateSection section;
    const auto sectionName = reader.Take(nameSize);
    section.Name.assign(sectionName.begin(), sectionName.end());
    section.Version = reader.U32();
    const uint32_t rawSize = reader.U32();
    const uint32_t storedSize = reader.U32();
    if (rawSize > kMaxRawSection || !reader.Has(storedSize))
      return damaged("section " + section.Name + " is cut");
    const auto stored = reader.Take(storedSize);
    section.Data.resize(rawSize);
    uLongf unpacked = rawSize;
    if (uncompress(section.Data.data(), &unpacked, stored.data(), storedSize) != Z_OK ||
        unpacked != rawSize)
      return damaged("section " + section.Name + " does not decompress");
    image.Sections.push_back(std::move(section));
  }
  if (reader.Has(1)) return damaged("bytes follow the last section");
  return image;
}

bool WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes,
                         std::string& error) {
  std::string temporary = path + ".XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) {
    error = SystemError(errno);
    return false;
  }
  // mkstemp makes the file private; a state is an ordinary document.
  int failure = fchmod(fd, 0644) != 0 ? errno : 0;
  size_t written = 0;
  while (failure == 0 && written < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      failure = n < 0 ? errno : ENOSPC;
      break;
    }
    written += static_cast<size_t>(n);
  }
  // The data reaches the disk before the name does, so a crash leaves the old file or the new.
  if (failure == 0 && fsync(fd) != 0) failure = errno;
  if (close(fd) != 0 && failure == 0) failure = errno;
  if (failure == 0 && std::rename(temporary.c_str(), path.c_str()) != 0) failure = errno;
  if (failure != 0) {
    unlink(temporary.c_str());
    error = SystemError(failure);
    return false;
  }
  return true;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = SystemError(errno != 0 ? errno : ENOENT);
    return false;
  }
  bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  if (file.bad()) {
    error = "read error";
    return false;
  }
  return true;
}

}  // namespace vantor
