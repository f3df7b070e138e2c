#include "ui/SdlAudio.h"

#include <algorithm>

namespace vantor::ui {

namespace {

// The fade in and out, per frame: about 1.3 ms from silence to full at 48 kHz.
constexpr float kFadeStep = 1.0f / 64;
// The queue holds this many times its target before new frames wait out a stall of the device.
constexpr uint64_t kRingTargets = 8;

}  // namespace

void TRateConverter::Start(int deviceRate, uint64_t targetFrames) {
  deviceRate_ = deviceRate;
  target_ = static_cast<double>(std::max<uint64_t>(targetFrames, 1));
  smoothedFill_ = target_;
  correction_ = 0;
  phase_ = 0;
  last_[0] = last_[1] = 0;
}

TSdlAudio::~TSdlAudio() {
  if (device_ != 0) SDL_CloseAudioDevice(device_);
  if (subsystemStarted_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

bool TSdlAudio::Start(std::string& reason) {
  if (device_ != 0) return true;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    reason = SDL_GetError();
    return false;
  }
  subsystemStarted_ = true;
  SDL_AudioSpec want{};
  want.freq = kPreferredRate;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = kDeviceFrames;
  want.callback = Callback;
  want.userdata = this;
  SDL_AudioSpec have{};
  // A device opens paused, so nothing calls back before the queue exists.
  device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have,
                                SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_SAMPLES_CHANGE);
  if (device_ == 0) {
    reason = SDL_GetError();
    if (reason.empty()) reason = "no audio device";
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    subsystemStarted_ = false;
    return false;
  }
  deviceRate_ = have.freq;
  targetFrames_ = static_cast<uint64_t>(deviceRate_) * static_cast<uint64_t>(queueMs_) / 1000;
  ringFrames_ = kRingTargets * targetFrames_;
  ring_.assign(2 * ringFrames_, 0);
  converter_.Start(deviceRate_, targetFrames_);
  SDL_PauseAudioDevice(device_, 0);
  return true;
}

void TSdlAudio::SetHeard(bool heard) {
  if (!heard) flush_.store(true, std::memory_order_release);
  heard_.store(heard, std::memory_order_release);
}

uint64_t TSdlAudio::QueuedFrames() const {
  return written_.load(std::memory_order_acquire) - read_.load(std::memory_order_acquire);
}

void TSdlAudio::PlayFrames(std::span<const int16_t> samples, double rate) {
  if (device_ == 0 || !heard_.load(std::memory_order_acquire) || rate <= 0) return;
  const uint64_t read = read_.load(std::memory_order_acquire);
  uint64_t written = written_.load(std::memory_order_relaxed);
  converter_.Convert(samples, rate, written - read, [&](int16_t left, int16_t right) {
    // A queue the device does not empty (a stalled device) keeps what it has.
    if (written - read >= ringFrames_) return;
    int16_t* slot = &ring_[2 * (written % ringFrames_)];
    slot[0] = left;
    slot[1] = right;
    ++written;
  });
  written_.store(written, std::memory_order_release);
}

void TSdlAudio::Callback(void* self, Uint8* stream, int bytes) {
  static_cast<TSdlAudio*>(self)->Fill(reinterpret_cast<int16_t*>(stream),
                                      bytes / static_cast<int>(2 * sizeof(int16_t)));
}

void TSdlAudio::Fill(int16_t* out, int frames) {
  const uint64_t written = written_.load(std::memory_order_acquire);
  uint64_t read = read_.load(std::memory_order_relaxed);
  if (flush_.exchange(false, std::memory_order_acq_rel) ||
      !heard_.load(std::memory_order_acquire)) {
    read = written;
    playing_ = false;
  }
  // After a start or an under-run the queue first fills up to its target again; a sound shorter
  // than that plays once nothing has come for as long.
  stillFrames_ = written == lastWritten_ ? stillFrames_ + static_cast<uint64_t>(frames) : 0;
  lastWritten_ = written;
  if (!playing_ && written > read &&
      (written - read >= targetFrames_ || stillFrames_ >= targetFrames_))
    playing_ = true;
  for (int i = 0; i < frames; ++i) {
    if (playing_ && read < written) {
      const int16_t* slot = &ring_[2 * (read % ringFrames_)];
      held_[0] = slot[0];
      held_[1] = slot[1];
      ++read;
      gain_ = std::min(1.0f, gain_ + kFadeStep);
    } else {
      playing_ = false;
      gain_ = std::max(0.0f, gain_ - kFadeStep);
    }
    out[2 * i] = static_cast<int16_t>(held_[0] * gain_);
    out[2 * i + 1] = static_cast<int16_t>(held_[1] * gain_);
  }
  read_.store(read, std::memory_order_release);
  deviceFrames_.fetch_add(static_cast<uint64_t>(frames), std::memory_order_release);
}

}  // namespace vantor::ui
