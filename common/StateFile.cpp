#include "common/StateFile.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <system_error>

#include "common/FileAccess.h"

namespace vantor {

namespace {

constexpr char kMagic[8] = {'V', '6', '4', 'S', 'T', 'A', 'T', 'E'};
constexpr size_t kVersionField = 16;
constexpr size_t kHeaderSize = 8 + 4 + 20 + 32 + kVersionField + 4;
constexpr size_t kChecksumSize = 4;

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

// Writes every byte; 0, or the system's error number.
int WriteAll(int fd, std::span<const uint8_t> bytes) {
  size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : ENOSPC;
    written += static_cast<size_t>(n);
  }
  return 0;
}

// What the rules look at in a section, stored or inflated.
struct TSectionFacts {
  std::string_view Name;
  uint32_t Version;
  uint64_t Size;
};

std::string CheckFacts(std::span<const TSectionFacts> facts, std::span<const TSectionRule> rules) {
  for (const TSectionRule& rule : rules) {
    const auto found = std::find_if(facts.begin(), facts.end(),
                                    [&](const TSectionFacts& f) { return f.Name == rule.Name; });
    if (found == facts.end()) {
      if (rule.Optional) continue;
      return "its section " + rule.Name + " is missing";
    }
    if (found->Version != rule.Version)
      return "its section " + rule.Name + " has version " + std::to_string(found->Version) +
             ", which this program does not read";
    if (rule.AtMost ? found->Size > rule.Size : found->Size != rule.Size)
      return "its section " + rule.Name + " has the wrong size";
  }
  for (size_t i = 0; i < facts.size(); ++i) {
    const std::string_view name = facts[i].Name;
    const bool known = std::any_of(rules.begin(), rules.end(),
                                   [&](const TSectionRule& rule) { return rule.Name == name; });
    if (!known) return "it holds a section this program does not know (" + std::string(name) + ")";
    for (size_t j = 0; j < i; ++j)
      if (facts[j].Name == name) return "its section " + std::string(name) + " is given twice";
  }
  return {};
}

}  // namespace

const TStateSection* TStateImage::Find(const std::string& name) const {
  for (const TStateSection& section : Sections)
    if (section.Name == name) return &section;
  return nullptr;
}

const TStoredSection* TStoredState::Find(const std::string& name) const {
  for (const TStoredSection& section : Sections)
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

std::optional<TStoredState> ParseState(std::span<const uint8_t> bytes, std::string& error) {
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
  TStoredState state;
  const auto name = reader.Take(20);
  std::memcpy(state.Identity.RomName.data(), name.data(), name.size());
  const auto hash = reader.Take(32);
  std::memcpy(state.Identity.RomHash.data(), hash.data(), hash.size());
  const auto version = reader.Take(kVersionField);
  state.Identity.ProgramVersion.assign(
      reinterpret_cast<const char*>(version.data()),
      strnlen(reinterpret_cast<const char*>(version.data()), kVersionField));
  const uint32_t count = reader.U32();
  const auto damaged = [&error](const std::string& what) {
    error = "the file is damaged (" + what + ")";
    return std::nullopt;
  };
  if (count > kMaxStateSections) return damaged("it claims " + std::to_string(count) + " sections");
  for (uint32_t i = 0; i < count; ++i) {
    if (!reader.Has(1)) return damaged("a section is missing");
    const uint8_t nameSize = reader.U8();
    if (nameSize == 0 || !reader.Has(nameSize + 12u)) return damaged("a section header is cut");
    TStoredSection section;
    const auto sectionName = reader.Take(nameSize);
    section.Name.assign(sectionName.begin(), sectionName.end());
    section.Version = reader.U32();
    section.RawSize = reader.U32();
    const uint32_t storedSize = reader.U32();
    if (!reader.Has(storedSize)) return damaged("section " + section.Name + " is cut");
    if (state.Find(section.Name) != nullptr)
      return damaged("section " + section.Name + " is given twice");
    section.Stored = reader.Take(storedSize);
    state.Sections.push_back(std::move(section));
  }
  if (reader.Has(1)) return damaged("bytes follow the last section");
  return state;
}

std::string CheckSections(const TStoredState& state, std::span<const TSectionRule> rules) {
  std::vector<TSectionFacts> facts;
  for (const TStoredSection& section : state.Sections)
    facts.push_back({section.Name, section.Version, section.RawSize});
  return CheckFacts(facts, rules);
}

std::string CheckSections(const TStateImage& image, std::span<const TSectionRule> rules) {
  std::vector<TSectionFacts> facts;
  for (const TStateSection& section : image.Sections)
    facts.push_back({section.Name, section.Version, section.Data.size()});
  return CheckFacts(facts, rules);
}

bool InflateSection(const TStoredSection& section, std::vector<uint8_t>& data, std::string& error) {
  data.resize(section.RawSize);
  uLongf unpacked = section.RawSize;
  // The output buffer bounds the inflation: a stream that would make more fails.
  if (uncompress(data.data(), &unpacked, section.Stored.data(),
                 static_cast<uLong>(section.Stored.size())) != Z_OK ||
      unpacked != section.RawSize) {
    error = "the file is damaged (section " + section.Name + " does not decompress)";
    return false;
  }
  return true;
}

std::optional<TStateImage> DecodeState(std::span<const uint8_t> bytes,
                                       std::span<const TSectionRule> rules, std::string& error) {
  std::optional<TStoredState> stored = ParseState(bytes, error);
  if (!stored) return std::nullopt;
  error = CheckSections(*stored, rules);
  if (!error.empty()) return std::nullopt;
  TStateImage image;
  image.Identity = stored->Identity;
  for (const TStoredSection& section : stored->Sections) {
    TStateSection inflated{section.Name, section.Version, {}};
    if (!InflateSection(section, inflated.Data, error)) return std::nullopt;
    image.Sections.push_back(std::move(inflated));
  }
  return image;
}

bool WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes,
                         std::string& error) {
  const std::string target = AtomicTarget(path);
  if (target.empty()) {
    const int fd = OpenOutput(path, error);
    if (fd < 0) return false;
    int failure = WriteAll(fd, bytes);
    if (close(fd) != 0 && failure == 0) failure = errno;
    if (failure != 0) error = SystemError(failure);
    return failure == 0;
  }
  std::string temporary = target + ".XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) {
    error = SystemError(errno);
    return false;
  }
  // mkstemp makes the file private; a state is an ordinary document.
  int failure = fchmod(fd, 0644) != 0 ? errno : WriteAll(fd, bytes);
  // The data reaches the disk before the name does, so a crash leaves the old file or the new.
  if (failure == 0 && fsync(fd) != 0) failure = errno;
  if (close(fd) != 0 && failure == 0) failure = errno;
  if (failure == 0 && std::rename(temporary.c_str(), target.c_str()) != 0) failure = errno;
  if (failure != 0) {
    unlink(temporary.c_str());
    error = SystemError(failure);
    return false;
  }
  return true;
}

}  // namespace vantor
