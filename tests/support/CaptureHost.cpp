#include "tests/support/CaptureHost.h"

namespace vantor::test {

CaptureHost::CaptureHost() {
  InstallHost(this);
}
CaptureHost::~CaptureHost() {
  InstallHost(nullptr);
}

void CaptureHost::LogLine(std::string_view line) {
  std::lock_guard lock(mutex_);
  lines_.emplace_back(line);
}

void CaptureHost::ShowMessage(std::string_view text) {
  std::lock_guard lock(mutex_);
  messages_.emplace_back(text);
}

void CaptureHost::SetStatusText(std::string_view text) {
  std::lock_guard lock(mutex_);
  statusTexts_.emplace_back(text);
}

std::vector<std::string> CaptureHost::Lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

std::vector<std::string> CaptureHost::Messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

std::vector<std::string> CaptureHost::StatusTexts() const {
  std::lock_guard lock(mutex_);
  return statusTexts_;
}

void CaptureHost::Clear() {
  std::lock_guard lock(mutex_);
  lines_.clear();
  messages_.clear();
  statusTexts_.clear();
}

}  // namespace vantor::test
