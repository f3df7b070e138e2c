#include "common/Host.h"

#include <atomic>

namespace vantor {

namespace {
std::atomic<THost*> installedHost{nullptr};
std::atomic<TAudioSink*> installedAudioSink{nullptr};
}  // namespace

void InstallHost(THost* host) {
  installedHost.store(host, std::memory_order_release);
}

THost* CurrentHost() {
  return installedHost.load(std::memory_order_acquire);
}

void InstallAudioSink(TAudioSink* sink) {
  installedAudioSink.store(sink, std::memory_order_release);
}

void PlayAudio(std::span<const int16_t> samples, double rate) {
  if (TAudioSink* sink = installedAudioSink.load(std::memory_order_acquire))
    sink->PlayFrames(samples, rate);
}

void ShowMessage(std::string_view text) {
  if (THost* host = CurrentHost()) host->ShowMessage(text);
}

void SetStatusText(std::string_view text) {
  if (THost* host = CurrentHost()) host->SetStatusText(text);
}

}  // namespace vantor
