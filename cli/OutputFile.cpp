#include "cli/OutputFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vantor::cli {

TOutputFile OpenOutputFile(const std::string& path, std::string& error) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) {
    error = std::strerror(errno);
    return nullptr;
  }
  // Writes may wait again, for a slow reader, once there is one.
  const int flags = fcntl(fd, F_GETFL);
  FILE* file =
      flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 ? nullptr : fdopen(fd, "wb");
  if (file == nullptr) {
    error = std::strerror(errno);
    close(fd);
  }
  return TOutputFile(file);
}

bool CloseOutputFile(TOutputFile file, std::string& error) {
  const bool flushed = std::fflush(file.get()) == 0 && std::ferror(file.get()) == 0;
  if (!flushed) error = std::strerror(errno);
  const bool closed = std::fclose(file.release()) == 0;
  if (flushed && !closed) error = std::strerror(errno);
  return flushed && closed;
}

}  // namespace vantor::cli
