// An audio sink that records every frame the machine plays and the rates they came at, installed
// for the lifetime of the object.
#pragma once

#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

#include "common/Host.h"

namespace vantor::test {

class CaptureAudio : public TAudioSink {
 public:
  CaptureAudio() { InstallAudioSink(this); }
  ~CaptureAudio() override { InstallAudioSink(nullptr); }

  void PlayFrames(std::span<const int16_t> samples, double rate) override {
    std::lock_guard lock(mutex_);
    samples_.insert(samples_.end(), samples.begin(), samples.end());
    if (rates_.empty() || rates_.back() != rate) rates_.push_back(rate);
    ++calls_;
  }

  // Every sample so far, left and right in turn.
  std::vector<int16_t> Samples() const {
    std::lock_guard lock(mutex_);
    return samples_;
  }
  size_t Frames() const {
    std::lock_guard lock(mutex_);
    return samples_.size() / 2;
  }
  // Each rate the frames came at, once per change.
  std::vector<double> Rates() const {
    std::lock_guard lock(mutex_);
    return rates_;
  }
  size_t Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<int16_t> samples_;
  std::vector<double> rates_;
  size_t calls_ = 0;
};

}  // namespace vantor::test
