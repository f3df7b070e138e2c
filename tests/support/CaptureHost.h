// A host that records what the core reports, installed for the lifetime of the object.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "common/Host.h"

namespace vantor::test {

class CaptureHost : public THost {
 public:
  CaptureHost();
  ~CaptureHost() override;

  void LogLine(std::string_view line) override;
  void ShowMessage(std::string_view text) override;
  void SetStatusText(std::string_view text) override;

  std::vector<std::string> Lines() const;
  std::vector<std::string> Messages() const;
  std::vector<std::string> StatusTexts() const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
  std::vector<std::string> messages_;
  std::vector<std::string> statusTexts_;
};

}  // namespace vantor::test
