#include "memory/RomFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vantor {

TRomFile::TRomFile(const std::string& path) {
  // Without O_NONBLOCK, opening a FIFO would wait for a writer before its kind can be told.
  fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd_ < 0) {
    error_ = std::strerror(errno);
    return;
  }
  struct stat info {};
  if (fstat(fd_, &info) != 0) {
    error_ = std::strerror(errno);
  } else if (S_ISDIR(info.st_mode)) {
    error_ = std::strerror(EISDIR);
  } else if (!S_ISREG(info.st_mode)) {
    error_ = "it is not a regular file";
  } else if (static_cast<uint64_t>(info.st_size) > kMaxRomBytes) {
    error_ = "it is " + std::to_string(info.st_size) +
             " bytes, larger than the 256 MB a cartridge can hold";
  } else {
    size_ = static_cast<uint32_t>(info.st_size);
  }
}

TRomFile::~TRomFile() {
  if (fd_ >= 0) close(fd_);
}

bool TRomFile::ReadAll(uint8_t* target) {
  uint32_t done = 0;
  while (Ok() && done < size_) {
    const ssize_t got = read(fd_, target + done, size_ - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0)
      error_ = std::strerror(errno);
    else if (got == 0)
      error_ =
          "it ended after " + std::to_string(done) + " of its " + std::to_string(size_) + " bytes";
    else
      done += static_cast<uint32_t>(got);
  }
  return Ok();
}

}  // namespace vantor
