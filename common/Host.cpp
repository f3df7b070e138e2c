#include "common/Host.h"

#include <atomic>

namespace vantor {

namespace {
std::atomic<THost*> installedHost{nullptr};
}  // namespace

void InstallHost(THost* host) {
  installedHost.store(host, std::memory_order_release);
}

THost* CurrentHost() {
  return installedHost.load(std::memory_order_acquire);
}

void ShowMessage(std::string_view text) {
  if (THost* host = CurrentHost()) host->ShowMessage(text);
}

void SetStatusText(std::string_view text) {
  if (THost* host = CurrentHost()) host->SetStatusText(text);
}

}  // namespace vantor
