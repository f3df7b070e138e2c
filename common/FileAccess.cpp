#include "common/FileAccess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace vantor {

namespace {

// What the refusal of an oversized file names as the limit.
const char* LimitText(TFileKind kind) {
  switch (kind) {
    case TFileKind::Rom:
      return "the 256 MB a cartridge can hold";
    case TFileKind::State:
      return "the 32 MB a save state may take";
    case TFileKind::InputScript:
      return "the 16 MB an input script may take";
    case TFileKind::Settings:
      return "the 1 MB a settings file may take";
  }
  return "";
}

}  // namespace

uint64_t MaxFileBytes(TFileKind kind) {
  switch (kind) {
    case TFileKind::Rom:
      return kMaxRomBytes;
    case TFileKind::State:
      return kMaxStateBytes;
    case TFileKind::InputScript:
      return kMaxInputScriptBytes;
    case TFileKind::Settings:
      return kMaxSettingsBytes;
  }
  return 0;
}

TReadableFile::TReadableFile(const std::string& path, TFileKind kind) {
  // Without O_NONBLOCK, opening a FIFO would wait for a writer before its kind can be told.
  fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd_ < 0) {
    openErrno_ = errno;
    error_ = std::strerror(openErrno_);
    return;
  }
  struct stat info {};
  if (fstat(fd_, &info) != 0) {
    error_ = std::strerror(errno);
  } else if (S_ISDIR(info.st_mode)) {
    error_ = std::strerror(EISDIR);
  } else if (!S_ISREG(info.st_mode)) {
    error_ = "it is not a regular file";
  } else if (static_cast<uint64_t>(info.st_size) > MaxFileBytes(kind)) {
    error_ = "it is " + std::to_string(info.st_size) + " bytes, larger than " + LimitText(kind);
  } else {
    size_ = static_cast<uint64_t>(info.st_size);
  }
}

TReadableFile::~TReadableFile() {
  if (fd_ >= 0) close(fd_);
}

bool TReadableFile::ReadAll(uint8_t* target) {
  uint64_t done = 0;
  while (Ok() && done < size_) {
    const ssize_t got = read(fd_, target + done, size_ - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0)
      error_ = std::strerror(errno);
    else if (got == 0)
      error_ =
          "it ended after " + std::to_string(done) + " of its " + std::to_string(size_) + " bytes";
    else
      done += static_cast<uint64_t>(got);
  }
  return Ok();
}

bool TReadableFile::ReadAll(std::vector<uint8_t>& bytes) {
  bytes.resize(Ok() ? size_ : 0);
  return ReadAll(bytes.data());
}

bool TReadableFile::ReadAll(std::string& text) {
  text.resize(Ok() ? size_ : 0);
  return ReadAll(reinterpret_cast<uint8_t*>(text.data()));
}

int OpenOutput(const std::string& path, std::string& error) {
  const int fd =
      open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0666);
  if (fd < 0) {
    error = std::strerror(errno);
    return -1;
  }
  struct stat info {};
  int failure = fstat(fd, &info) != 0 ? errno : 0;
  if (failure == 0 && !S_ISREG(info.st_mode) && !S_ISFIFO(info.st_mode)) {
    error = "it is not a regular file";
    close(fd);
    return -1;
  }
  // Writes may wait again, for a slow reader, once there is one.
  const int flags = failure == 0 ? fcntl(fd, F_GETFL) : -1;
  if (failure == 0 && (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)) failure = errno;
  if (failure != 0) {
    error = std::strerror(failure);
    close(fd);
    return -1;
  }
  return fd;
}

std::string AtomicTarget(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return path;
  if (!S_ISREG(info.st_mode)) return {};
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

}  // namespace vantor
