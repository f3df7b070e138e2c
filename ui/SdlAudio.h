// The desktop program's speakers: the frames the audio interface plays, converted to the audio
// device's rate and played through SDL2's audio. The emulation thread converts and queues; SDL's
// audio thread takes them out. The stream keeps a steady latency of about kQueueMs plus the
// device's period (10 ms at 48 kHz) by converting a little faster or slower as the queue runs
// fuller or emptier than that; nothing is dropped or repeated on the way. While no frames come
// (pause, an under-run), or the sound is not to be heard (disabled, fast-forward), the device plays
// silence, faded out and back in over a millisecond or two so that nothing clicks.
#pragma once

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/Host.h"

namespace vantor::ui {

// Converts stereo frames from the audio interface's rate to the device's by linear
// interpolation. The step through the input is corrected by how full the queue runs against its
// target (smoothed, so the bursts of a paced run do not count): a fuller queue takes longer
// steps and so puts out fewer frames, an emptier one more, by at most kMaxCorrection.
class TRateConverter {
 public:
  static constexpr double kMaxCorrection = 0.005;

  void Start(int deviceRate, uint64_t targetFrames);
  // Converts `samples` (left, right, ...) played at `rate`, with `fill` frames queued now; calls
  // put(left, right) for each frame at the device's rate.
  template <typename Put>
  void Convert(std::span<const int16_t> samples, double rate, uint64_t fill, Put put);
  // The correction the last conversion applied, as a fraction of the step.
  double Correction() const { return correction_; }

 private:
  double deviceRate_ = 0;
  double target_ = 1;
  double smoothedFill_ = 0;
  double correction_ = 0;
  int16_t last_[2] = {0, 0};  // the input frame before the next one
  double phase_ = 0;          // how far past it the next output frame lies, in input frames
};

class TSdlAudio : public TAudioSink {
 public:
  // Frames the queue aims to hold, in milliseconds, and the device period asked for.
  static constexpr int kQueueMs = 40;
  static constexpr int kDeviceFrames = 480;
  static constexpr int kPreferredRate = 48000;

  // queueMs: the latency the queue aims at (tests on a busy machine give it more room).
  explicit TSdlAudio(int queueMs = kQueueMs) : queueMs_(queueMs) {}
  ~TSdlAudio() override;
  TSdlAudio(const TSdlAudio&) = delete;
  TSdlAudio& operator=(const TSdlAudio&) = delete;

  // Starts SDL's audio and opens the default device. False, with the reason, when there is no
  // device or SDL's audio fails: the program then plays nothing.
  bool Start(std::string& reason);
  bool Started() const { return device_ != 0; }
  // The device's rate in frames a second (0 before Start).
  int DeviceRate() const { return deviceRate_; }

  // Whether what plays is to be heard: sound enabled, a run going, at the console's speed. From
  // the main thread; the queue is emptied when it goes off.
  void SetHeard(bool heard);
  bool Heard() const { return heard_.load(std::memory_order_acquire); }

  // From the emulation thread.
  void PlayFrames(std::span<const int16_t> samples, double rate) override;

  // Frames waiting in the queue now.
  uint64_t QueuedFrames() const;
  // Frames the device has played so far, sound or silence: its own clock.
  uint64_t DeviceFrames() const { return deviceFrames_.load(std::memory_order_acquire); }

 private:
  static void Callback(void* self, Uint8* stream, int bytes);
  void Fill(int16_t* out, int frames);

  const int queueMs_;
  SDL_AudioDeviceID device_ = 0;
  bool subsystemStarted_ = false;
  int deviceRate_ = 0;
  uint64_t targetFrames_ = 0;
  std::atomic<bool> heard_{false};

  // The queue, one producer (emulation thread) and one consumer (SDL's audio thread): frames
  // written_ and read_ count up for good, the ring holds written_ - read_ of them.
  std::vector<int16_t> ring_;
  uint64_t ringFrames_ = 0;
  std::atomic<uint64_t> written_{0};
  std::atomic<uint64_t> read_{0};
  // Set when the queue is to be emptied; the consumer does it.
  std::atomic<bool> flush_{false};
  std::atomic<uint64_t> deviceFrames_{0};

  // On the emulation thread.
  TRateConverter converter_;

  // The consumer's state: playing once the queue first reached its target (or stopped growing
  // short of it), the fade's gain and the frame it fades from.
  bool playing_ = false;
  uint64_t lastWritten_ = 0;  // written_ as the last call saw it
  uint64_t stillFrames_ = 0;  // device frames played since the queue last grew
  float gain_ = 0;
  float held_[2] = {0, 0};
};

template <typename Put>
void TRateConverter::Convert(std::span<const int16_t> samples, double rate, uint64_t fill,
                             Put put) {
  // Per hand-over (a few milliseconds of sound each), the smoothed fill follows the queue by this
  // much, which smooths away the bursts in which a paced run produces a frame's worth of sound.
  constexpr double kFillSmoothing = 0.02;
  smoothedFill_ += (static_cast<double>(fill) - smoothedFill_) * kFillSmoothing;
  // The whole correction at half the target off it.
  correction_ = std::clamp(2 * kMaxCorrection * (smoothedFill_ - target_) / target_,
                           -kMaxCorrection, kMaxCorrection);
  const double step = rate / deviceRate_ * (1 + correction_);
  for (size_t i = 0; i + 1 < samples.size(); i += 2) {
    const int16_t in[2] = {samples[i], samples[i + 1]};
    for (; phase_ < 1.0; phase_ += step)
      put(static_cast<int16_t>(last_[0] + (in[0] - last_[0]) * phase_),
          static_cast<int16_t>(last_[1] + (in[1] - last_[1]) * phase_));
    phase_ -= 1.0;
    last_[0] = in[0];
    last_[1] = in[1];
  }
}

}  // namespace vantor::ui
