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

// Opens path as every output is opened (OpenOutput): a regular file, a new name or a pipe with a
// reader; null, with the reason, on failure.
TOutputFile OpenOutputFile(const std::string& path, std::string& error);

// Flushes and closes the file; false, with the reason, when anything written was lost.
bool CloseOutputFile(TOutputFile file, std::string& error);

}  // namespace vantor::cli
