// Opening and reading a ROM file for the two loads of a ROM. Only a regular file no larger than
// the cartridge window is read, and opening never waits: a FIFO or a device is refused first.
#pragma once

#include <cstdint>
#include <string>

namespace vantor {

// The cartridge window at 0x90000000 shows at most 256 MB; larger images are refused unread.
inline constexpr uint64_t kMaxRomBytes = 0x10000000;

class TRomFile {
 public:
  // Opens the file and checks its kind and size; Ok() tells the outcome.
  explicit TRomFile(const std::string& path);
  ~TRomFile();
  TRomFile(const TRomFile&) = delete;
  TRomFile& operator=(const TRomFile&) = delete;

  bool Ok() const { return error_.empty(); }
  // Why the file cannot be read, for the user: the system's error text or what is wrong with it.
  const std::string& Error() const { return error_; }
  uint32_t Size() const { return size_; }

  // Reads the whole file into target, which holds Size() bytes; false (and Error()) on failure.
  bool ReadAll(uint8_t* target);

 private:
  int fd_ = -1;
  uint32_t size_ = 0;
  std::string error_;
};

}  // namespace vantor
