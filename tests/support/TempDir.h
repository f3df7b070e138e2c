// A fresh directory under the system's temporary folder, removed with its contents at the end.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vantor::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // Writes bytes to a file in the directory and returns its full path.
  std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) const;
  std::string WriteText(const std::string& name, std::string_view text) const;

 private:
  std::filesystem::path path_;
};

}  // namespace vantor::test
