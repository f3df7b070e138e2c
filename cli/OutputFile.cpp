#include "cli/OutputFile.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/FileAccess.h"

namespace vantor::cli {

TOutputFile OpenOutputFile(const std::string& path, std::string& error) {
  const int fd = OpenOutput(path, error);
  if (fd < 0) return nullptr;
  FILE* file = fdopen(fd, "wb");
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
