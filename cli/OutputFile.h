// Opening the runner's output files (snapshot, memory dump) for writing.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace vantor::cli {

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};
using TOutputFile = std::unique_ptr<FILE, FileCloser>;

// Creates or truncates the file at path; null, with the reason, on failure. Never waits: a FIFO
// that no one reads is refused ("No such device or address") instead of holding the run's end
// for good, while a pipe with a reader (such as /dev/stdout) is written as usual.
TOutputFile OpenOutputFile(const std::string& path, std::string& error);

// Flushes and closes the file; false, with the reason, when anything written was lost.
bool CloseOutputFile(TOutputFile file, std::string& error);

}  // namespace vantor::cli
