#include "audio/AudioInterface.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "common/Host.h"
#include "common/MachineState.h"
#include "core/Scheduler.h"
#include "memory/PlainPages.h"

namespace vantor {

namespace {

enum : uint32_t {
  AI_DRAM_ADDR = 0x00,
  AI_LEN = 0x04,
  AI_CONTROL = 0x08,
  AI_STATUS = 0x0C,
  AI_DACRATE = 0x10,
  AI_BITRATE = 0x14,
};

constexpr uint32_t kAddressMask = 0x00FFFFF8;
constexpr uint32_t kLengthMask = 0x0003FFF8;
constexpr uint32_t kDacRateMask = 0x3FFF;
constexpr uint32_t kBitRateMask = 0xF;
constexpr uint32_t kControlDmaEnable = 0x1;
constexpr uint32_t kStatusFull = 0x80000001;
constexpr uint32_t kStatusBusy = 0x40000000;
constexpr uint32_t kStatusEnabled = 0x02000000;
constexpr uint32_t kBytesPerFrame = 4;

using uint128 = unsigned __int128;

struct TBuffer {
  uint32_t address;
  uint32_t length;
};

// Everything a save state keeps. The playing buffer is buffers[0] while `playing`; its start is
// startCycle plus startFraction / videoClock cycles, so that buffers played back to back keep the
// DAC's exact rate however the cycles round.
struct TAudioState {
  uint32_t dramAddr;
  uint32_t control;
  uint32_t dacRate;
  uint32_t bitRate;
  uint32_t queued;  // 0 to 2 buffers
  uint32_t playing;
  std::array<TBuffer, 2> buffers;
  uint32_t period;  // video clocks per frame of the playing buffer: its DAC rate + 1
  uint32_t handed;  // frames of the playing buffer handed to the sink
  uint64_t startCycle;
  uint64_t startFraction;
};

TAudioState ai{};
uint32_t videoClock = kNtscVideoClockHz;

uint32_t Frames(const TBuffer& buffer) {
  return buffer.length / kBytesPerFrame;
}

// Video clocks times processor cycles per second for `frames` frames of the playing buffer, plus
// the start's fraction: divided by the video clock, the cycles from startCycle to their end.
uint128 ScaledEnd(uint32_t frames) {
  return ai.startFraction + uint128{frames} * ai.period * kCpuClockHz;
}

// The first cycle by which `frames` frames of the playing buffer have played.
uint64_t CycleOfFrame(uint32_t frames) {
  return ai.startCycle + static_cast<uint64_t>((ScaledEnd(frames) + videoClock - 1) / videoClock);
}

// Frames of the playing buffer played by cycle `now`, at most the whole buffer.
uint32_t PlayedBy(uint64_t now) {
  if (now < ai.startCycle) return 0;
  const uint128 scaled = uint128{now - ai.startCycle} * videoClock;
  if (scaled < ai.startFraction) return 0;
  const uint128 frames = (scaled - ai.startFraction) / (uint128{ai.period} * kCpuClockHz);
  return static_cast<uint32_t>(std::min<uint128>(frames, Frames(ai.buffers[0])));
}

double RateOf(uint32_t period) {
  return static_cast<double>(videoClock) / period;
}

// Hands frames `ai.handed` up to `upTo` of the playing buffer to the sink, read from RDRAM as
// they are now. Frames past the end of RDRAM play as silence.
void HandTo(uint32_t upTo) {
  std::array<int16_t, 2 * kAudioChunkFrames> samples;
  const uint8_t* ram = RDRAM != nullptr ? RDRAM->Data : nullptr;
  const uint32_t ramSize = ram != nullptr ? RDRAM->Size : 0;
  while (ai.handed < upTo) {
    const uint32_t count = std::min(upTo - ai.handed, kAudioChunkFrames);
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t address = ai.buffers[0].address + (ai.handed + i) * kBytesPerFrame;
      uint32_t word = 0;
      if (address < ramSize && ramSize - address >= kBytesPerFrame)
        std::memcpy(&word, ram + address, sizeof word);
      samples[2 * i] = static_cast<int16_t>(word >> 16);
      samples[2 * i + 1] = static_cast<int16_t>(word);
    }
    ai.handed += count;
    PlayAudio(std::span<const int16_t>(samples.data(), 2 * count), RateOf(ai.period));
  }
}

// The next hand-over, or the buffer's end, on the machine clock.
void ScheduleNext() {
  if (ai.playing == 0) {
    MachineClock.Cancel(TEventKind::AiBuffer);
    return;
  }
  const uint32_t target = std::min(ai.handed + kAudioChunkFrames, Frames(ai.buffers[0]));
  MachineClock.ScheduleAt(TEventKind::AiBuffer, CycleOfFrame(target));
}

// The first queued buffer starts to play at this time: the DMA begins and the AI interrupt is
// raised.
void StartBuffer(uint64_t cycle, uint64_t fraction) {
  ai.playing = 1;
  ai.period = ai.dacRate + 1;
  ai.handed = 0;
  ai.startCycle = cycle;
  ai.startFraction = fraction;
  *MI_INTR |= kMiIntrAI;
}

void StartIfReady(uint64_t cycle, uint64_t fraction) {
  if (ai.playing == 0 && ai.queued > 0 && (ai.control & kControlDmaEnable) != 0) {
    StartBuffer(cycle, fraction);
    ScheduleNext();
  }
}

// The machine clock's AiBuffer event: hands over what played, and at the buffer's end moves the
// queue on, the next buffer starting where this one ended.
void BufferEvent() {
  if (ai.playing == 0) return;
  const uint32_t total = Frames(ai.buffers[0]);
  HandTo(PlayedBy(MachineClock.Now()));
  if (ai.handed == total) {
    const uint128 end = ScaledEnd(total);
    const uint64_t endCycle = ai.startCycle + static_cast<uint64_t>(end / videoClock);
    const auto endFraction = static_cast<uint64_t>(end % videoClock);
    ai.buffers[0] = ai.buffers[1];
    ai.buffers[1] = {};
    --ai.queued;
    ai.playing = 0;
    StartIfReady(endCycle, endFraction);
  }
  ScheduleNext();
}

uint32_t RemainingBytes() {
  if (ai.playing == 0) return 0;
  const uint32_t played = PlayedBy(MachineClock.Now());
  return ai.buffers[0].length - (played * kBytesPerFrame & ~7u);
}

uint32_t Status() {
  uint32_t status = 0;
  if (ai.queued == 2) status |= kStatusFull;
  if (ai.playing != 0) status |= kStatusBusy;
  if ((ai.control & kControlDmaEnable) != 0) status |= kStatusEnabled;
  return status;
}

// Save-state fields, little-endian, in the order of TAudioState.
constexpr uint32_t kStateWords = 12;
constexpr uint32_t kStateSize = kStateWords * 4 + 2 * 8;

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint32_t GetU32(const std::vector<uint8_t>& in, size_t& at) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i)
    value |= uint32_t{in[at++]} << (8 * i);
  return value;
}

uint64_t GetU64(const std::vector<uint8_t>& in, size_t& at) {
  const uint64_t low = GetU32(in, at);
  return low | uint64_t{GetU32(in, at)} << 32;
}

TAudioState Decode(const std::vector<uint8_t>& data) {
  size_t at = 0;
  TAudioState state{};
  state.dramAddr = GetU32(data, at);
  state.control = GetU32(data, at);
  state.dacRate = GetU32(data, at);
  state.bitRate = GetU32(data, at);
  state.queued = GetU32(data, at);
  state.playing = GetU32(data, at);
  for (TBuffer& buffer : state.buffers) {
    buffer.address = GetU32(data, at);
    buffer.length = GetU32(data, at);
  }
  state.period = GetU32(data, at);
  state.handed = GetU32(data, at);
  state.startCycle = GetU64(data, at);
  state.startFraction = GetU64(data, at);
  return state;
}

}  // namespace

void AudioReset(uint32_t videoClockHz) {
  ai = {};
  videoClock = videoClockHz;
  MachineClock.SetHandler(TEventKind::AiBuffer, BufferEvent);
  MachineClock.Cancel(TEventKind::AiBuffer);
}

void SetAudioVideoClock(uint32_t videoClockHz) {
  videoClock = videoClockHz;
}

uint32_t AudioRead(uint32_t, uint32_t offset) {
  switch (offset) {
    case AI_STATUS:
      return Status();
    case AI_DRAM_ADDR:
    case AI_LEN:
    case AI_CONTROL:
    case AI_DACRATE:
    case AI_BITRATE:
      return RemainingBytes();
    default:
      return 0;
  }
}

void AudioWrite(uint32_t, uint32_t offset, uint32_t value) {
  switch (offset) {
    case AI_DRAM_ADDR:
      ai.dramAddr = value & kAddressMask;
      break;
    case AI_LEN: {
      const uint32_t length = value & kLengthMask;
      // A buffer without frames plays nothing, and a write while both places are taken is lost.
      if (length == 0 || ai.queued == 2) break;
      ai.buffers[ai.queued++] = {ai.dramAddr, length};
      StartIfReady(MachineClock.Now(), 0);
      break;
    }
    case AI_CONTROL:
      ai.control = value & kControlDmaEnable;
      StartIfReady(MachineClock.Now(), 0);
      break;
    case AI_STATUS:
      *MI_INTR &= ~kMiIntrAI;
      break;
    case AI_DACRATE:
      // The playing buffer keeps its rate; the next one plays at the new rate.
      ai.dacRate = value & kDacRateMask;
      break;
    case AI_BITRATE:
      ai.bitRate = value & kBitRateMask;
      break;
    default:
      break;
  }
}

void AudioFlushPlayed() {
  if (ai.playing != 0) HandTo(PlayedBy(MachineClock.Now()));
}

double AudioFrameRate() {
  return RateOf(ai.dacRate + 1);
}

TStateSection CaptureAudio() {
  std::vector<uint8_t> out;
  for (uint32_t value : {ai.dramAddr, ai.control, ai.dacRate, ai.bitRate, ai.queued, ai.playing,
                         ai.buffers[0].address, ai.buffers[0].length, ai.buffers[1].address,
                         ai.buffers[1].length, ai.period, ai.handed})
    PutU32(out, value);
  for (uint64_t value : {ai.startCycle, ai.startFraction}) {
    PutU32(out, static_cast<uint32_t>(value));
    PutU32(out, static_cast<uint32_t>(value >> 32));
  }
  return {"ai", 1, std::move(out)};
}

uint32_t AudioStateSize() {
  return kStateSize;
}

std::string CheckAudio(const TStateSection& section) {
  if (section.Data.size() != kStateSize) return "its section ai has the wrong size";
  const TAudioState state = Decode(section.Data);
  bool fits = state.queued <= 2 && state.playing <= 1 && state.queued >= state.playing &&
              state.dramAddr == (state.dramAddr & kAddressMask) &&
              state.control == (state.control & kControlDmaEnable) &&
              state.dacRate == (state.dacRate & kDacRateMask) &&
              state.bitRate == (state.bitRate & kBitRateMask) &&
              state.startFraction < std::max(kNtscVideoClockHz, kPalVideoClockHz);
  for (uint32_t i = 0; i < 2; ++i) {
    const TBuffer& buffer = state.buffers[i];
    fits = fits && buffer.address == (buffer.address & kAddressMask) &&
           buffer.length == (buffer.length & kLengthMask) &&
           (buffer.length != 0) == (i < state.queued);
  }
  if (state.playing != 0)
    fits = fits && state.period >= 1 && state.period <= kDacRateMask + 1 &&
           state.handed <= Frames(state.buffers[0]);
  return fits ? std::string() : "its audio interface state is impossible";
}

void RestoreAudio(const TStateSection& section) {
  ai = Decode(section.Data);
  MachineClock.SetHandler(TEventKind::AiBuffer, BufferEvent);
  ScheduleNext();
}

}  // namespace vantor
