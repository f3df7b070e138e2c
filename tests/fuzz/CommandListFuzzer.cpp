// Hostile command lists for the display processor of the accurate machine. The input becomes a
// list of commands, partly raw words and mostly built from templates biased toward the edges:
// colour, depth and texture images near the end of RDRAM, past it and at odd addresses, of every
// size and of widths 1 to 1024; scissors full, empty, past the image and interlaced; other modes
// of every cycle type with random bits; random combiners and tiles; loads with random extents;
// triangles of all eight kinds with sane and extreme edges and coefficients; rectangles big,
// small and inverted. The list runs from RDRAM, or from DMEM with XBUS, until the display
// processor is idle or has spent the cycles an input may take; one input in four then runs it
// again split across two END writes. The bytes around RDRAM's storage are poisoned, so that any
// access past either end of it is a finding even where the heap's own guard would not see it.
#include <sanitizer/asan_interface.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <vector>

#include "core/Scheduler.h"
#include "memory/AddressMap.h"
#include "memory/PlainPages.h"
#include "memory/SignalProcessor.h"
#include "rdp/Rdp.h"
#include "tests/fuzz/FuzzInput.h"
#include "tests/fuzz/FuzzMachine.h"

namespace {

using namespace vantor;

constexpr uint32_t kListAddress = 0x080000;
// A list that runs off the end of RDRAM starts this far before it.
constexpr uint32_t kListTail = 0x100;
// The longest list: 8 KB, of which DMEM holds the first 4 KB.
constexpr size_t kMaxWords = 1024;
constexpr uint32_t kDmemListBytes = 0x1000;
// Bytes of a pattern for texture loads to find, refilled for every input.
constexpr uint32_t kPatternAddress = 0x300000;
constexpr uint32_t kPatternBytes = 0x4000;
// The display processor cycles an input may run (a slice more at most): about a million pixels,
// a second under the sanitizers. Slices of work end about 4096 cycles past their last command.
constexpr uint32_t kMaxCycles = 1 << 20;

using fuzz::TInput;

uint64_t Field(uint64_t value, int low, int bits) {
  return (value & ((uint64_t{1} << bits) - 1)) << low;
}
uint64_t Command(uint32_t id) {
  return Field(id, 56, 6);
}

// An image address: near the end of RDRAM or of its first 4 MB, past RDRAM, in the pattern,
// near address 0, each often at an odd byte.
uint32_t ImageAddress(TInput& in) {
  const uint8_t kind = in.Byte();
  const uint32_t offset = in.Byte();
  const uint32_t odd = kind >> 5;
  switch (kind % 8) {
    case 0:
      return kRdramExpandedSize - 8 * offset - odd;
    case 1:
      return kRdramExpandedSize - 0x1000 * (1 + offset % 64) + odd;
    case 2:
      return kRdramSize - 8 * offset + odd;
    case 3:
      return 0x3FFFFFF - 0x1000 * (offset % 4) - odd;
    case 4:
    case 5:
      return kPatternAddress + 16 * offset + odd;
    case 6:
      return 8 * offset + odd;
    default:
      return in.Word() & 0x3FFFFFF;
  }
}

// An image width from 1 to 1024, mostly at the ends of the range.
uint32_t Width(TInput& in) {
  const uint8_t b = in.Byte();
  switch (b % 4) {
    case 0:
      return 1 + (b >> 2) % 8;
    case 1:
      return 1024 - (b >> 2) % 8;
    case 2:
      return 8 * (1 + (b >> 2));
    default:
      return 1 + (in.Half() & 0x3FF);
  }
}

// A 10.2 coordinate or texel extent: small, near the top of the range, or anything.
uint32_t Extent(TInput& in) {
  const uint8_t b = in.Byte();
  switch (b % 4) {
    case 0:
    case 1:
      return in.Byte();
    case 2:
      return 0xFFF - in.Byte();
    default:
      return in.Half() & 0xFFF;
  }
}

uint64_t ImageCommand(uint32_t id, TInput& in, uint32_t& width) {
  width = Width(in);
  const uint8_t b = in.Byte();
  return Command(id) | Field(b, 53, 3) | Field(b >> 3, 51, 2) | Field(width - 1, 32, 10) |
         Field(ImageAddress(in), 0, 26);
}

uint64_t Scissor(TInput& in, uint32_t width) {
  const uint8_t kind = in.Byte();
  uint32_t xh = 0, yh = 0, xl = 0xFFF, yl = 0xFFF;
  switch (kind % 6) {
    case 0:  // the whole range
      break;
    case 1:  // empty: the corners the wrong way round
      xh = Extent(in) | 4;
      yh = Extent(in) | 4;
      xl = xh - 1 - in.Byte() % 4;
      yl = yh - 1 - in.Byte() % 4;
      break;
    case 2:  // past the colour image's right edge
      xh = 4 * width - 4 * (in.Byte() % 4);
      xl = xh + 4 * (1 + in.Byte());
      yl = in.Byte();
      break;
    case 3:  // small, from the corner
      xl = 4 * (1 + in.Byte() % 64);
      yl = 4 * (1 + in.Byte() % 64);
      break;
    case 4:  // anywhere, a few pixels
      xh = Extent(in);
      yh = Extent(in);
      xl = xh + in.Byte();
      yl = yh + in.Byte();
      break;
    default:
      xh = Extent(in);
      yh = Extent(in);
      xl = Extent(in);
      yl = Extent(in);
      break;
  }
  // A quarter of them interlaced, keeping the even or the odd lines.
  const bool field = (kind & 0xC0) == 0xC0;
  return Command(0x2D) | Field(xh, 44, 12) | Field(yh, 32, 12) | Field(field, 25, 1) |
         Field(kind >> 5, 24, 1) | Field(xl, 12, 12) | Field(yl, 0, 12);
}

uint64_t TileRange(uint32_t id, TInput& in) {
  return Command(id) | Field(Extent(in), 44, 12) | Field(Extent(in), 32, 12) |
         Field(in.Byte(), 24, 3) | Field(Extent(in), 12, 12) | Field(Extent(in), 0, 12);
}

// A TMEM address or line in 64-bit words: the ends, the middle (where palettes start) or any.
uint32_t TmemWords(TInput& in) {
  const uint8_t b = in.Byte();
  constexpr uint32_t kEdges[] = {0, 1, 0xFF, 0x100, 0x1FF, 0x1FE};
  return b < 128 ? kEdges[b % std::size(kEdges)] : in.Half() & 0x1FF;
}

uint64_t SetTile(TInput& in) {
  const uint8_t b = in.Byte();
  return Command(0x35) | Field(b, 53, 3) | Field(b >> 3, 51, 2) | Field(TmemWords(in), 41, 9) |
         Field(TmemWords(in), 32, 9) | Field(b >> 5, 24, 3) | Field(in.Word(), 0, 24);
}

// A 16-bit integer half of a coefficient: small, or anything.
uint32_t Integer(TInput& in, bool sane) {
  return sane ? static_cast<uint32_t>(static_cast<int8_t>(in.Byte())) & 0xFFFF : in.Half();
}

// A triangle of the kind `id`, edges and coefficients each sane (a small triangle on the screen,
// small values and steps) or extreme (any bits).
void Triangle(uint32_t id, TInput& in, std::vector<uint64_t>& list) {
  const uint8_t how = in.Byte();
  const bool saneEdges = (how & 3) != 0, saneCoefficients = (how & 12) != 0;
  uint64_t first = Command(id) | Field(how >> 4, 55, 1) | Field(in.Byte(), 48, 6);
  if (saneEdges) {
    const uint32_t yh = in.Byte(), ym = yh + in.Byte(), yl = ym + in.Byte();
    first |= Field(yl, 32, 14) | Field(ym, 16, 14) | Field(yh, 0, 14);
    list.push_back(first);
    for (int edge = 0; edge < 3; ++edge) {
      const uint32_t x = static_cast<uint32_t>(in.Byte()) << 15 | in.Half();
      const auto slope = static_cast<uint32_t>(static_cast<int8_t>(in.Byte()) * 4096);
      list.push_back(uint64_t{x} << 32 | slope);
    }
  } else {
    list.push_back(first | (in.Long() & 0x3FFF3FFF3FFFull));
    for (int edge = 0; edge < 3; ++edge)
      list.push_back(in.Long());
  }
  // Shade, texture and depth coefficients: integer halves, then fractions, four to a word.
  const int blocks = ((id & 4) != 0 ? 1 : 0) + ((id & 2) != 0 ? 1 : 0);
  for (int block = 0; block < blocks; ++block) {
    for (int word = 0; word < 8; ++word) {
      const bool integers = word % 4 < 2;
      uint64_t value = 0;
      for (int i = 0; i < 4; ++i)
        value = value << 16 | (integers ? Integer(in, saneCoefficients) : in.Half());
      list.push_back(value);
    }
  }
  if ((id & 1) != 0) {
    for (int word = 0; word < 2; ++word) {
      const uint64_t high = saneCoefficients ? uint64_t{in.Half()} << 16 : in.Word();
      const uint64_t low = saneCoefficients ? Integer(in, true) << 12 : in.Word();
      list.push_back(high << 32 | (low & 0xFFFFFFFF));
    }
  }
}

// Rectangle corners: small, extreme or the wrong way round.
uint64_t Corners(TInput& in) {
  const uint8_t how = in.Byte();
  uint32_t xh = 0, yh = 0, xl = 0, yl = 0;
  switch (how % 4) {
    case 0:
    case 1:
      xh = in.Byte();
      yh = in.Byte();
      xl = xh + in.Byte();
      yl = yh + in.Byte();
      break;
    case 2:
      xh = Extent(in);
      yh = Extent(in);
      xl = Extent(in);
      yl = Extent(in);
      break;
    default:
      xl = in.Byte();
      yl = in.Byte();
      xh = xl + 1 + in.Byte();
      yh = yl + 1 + in.Byte();
      break;
  }
  return Field(xl, 44, 12) | Field(yl, 32, 12) | Field(how >> 2, 24, 3) | Field(xh, 12, 12) |
         Field(yh, 0, 12);
}

// Texture coordinates: sane (small, steps near one texel) or any bits.
uint64_t TextureSteps(TInput& in) {
  if ((in.Byte() & 1) != 0) return in.Long();
  const uint32_t s = Integer(in, true) << 5, t = Integer(in, true) << 5;
  const auto dsdx = static_cast<uint32_t>(static_cast<int8_t>(in.Byte()) * 64);
  const auto dtdy = static_cast<uint32_t>(static_cast<int8_t>(in.Byte()) * 64);
  return Field(s, 48, 16) | Field(t, 32, 16) | Field(dsdx, 16, 16) | Field(dtdy, 0, 16);
}

class TListBuilder {
 public:
  explicit TListBuilder(TInput& in) : in_(in) {}

  std::vector<uint64_t> Build() {
    while (!in_.Empty() && list_.size() < kMaxWords)
      Add();
    if (list_.size() > kMaxWords) list_.resize(kMaxWords);
    return list_;
  }

 private:
  void Add() {
    const uint8_t kind = in_.Byte();
    switch (kind % 20) {
      case 0:  // anything at all
        list_.push_back(in_.Long());
        break;
      case 1:
        list_.push_back(ImageCommand(0x3F, in_, width_));
        break;
      case 2:
        list_.push_back(Command(0x3E) | Field(ImageAddress(in_), 0, 26));
        break;
      case 3: {
        uint32_t textureWidth = 0;
        list_.push_back(ImageCommand(0x3D, in_, textureWidth));
        break;
      }
      case 4:
        list_.push_back(Scissor(in_, width_));
        break;
      case 5:  // other modes: any bits, every cycle type
        list_.push_back(Command(0x2F) | Field(in_.Long(), 0, 56));
        break;
      case 6:
        list_.push_back(Command(0x3C) | Field(in_.Long(), 0, 56));
        break;
      case 7:
        list_.push_back(SetTile(in_));
        break;
      case 8: {  // TLUT, block and tile loads, and tile sizes
        constexpr uint32_t kIds[] = {0x30, 0x33, 0x34, 0x32};
        list_.push_back(TileRange(kIds[(kind >> 5) % 4], in_));
        break;
      }
      case 9: {  // colours, keys, conversion and primitive depth
        constexpr uint32_t kIds[] = {0x37, 0x38, 0x39, 0x3A, 0x3B, 0x2A, 0x2B, 0x2C, 0x2E};
        list_.push_back(Command(kIds[in_.Byte() % std::size(kIds)]) | Field(in_.Long(), 0, 56));
        break;
      }
      case 10:
      case 11:
      case 12:
      case 13:
        Triangle(0x08 | (kind >> 5), in_, list_);
        break;
      case 14:
      case 15:
        list_.push_back(Command((kind & 0x20) != 0 ? 0x25 : 0x24) | Corners(in_));
        list_.push_back(TextureSteps(in_));
        break;
      case 16:
      case 17:
        list_.push_back(Command(0x36) | Corners(in_));
        break;
      case 18:  // the syncs: load, pipe, tile and full
        list_.push_back(Command(0x26 + (kind >> 5) % 4));
        break;
      default:  // one of the last eight words again, with the modes since changed
        if (!list_.empty()) list_.push_back(list_[list_.size() - 1 - (kind >> 5) % list_.size()]);
        break;
    }
  }

  TInput& in_;
  std::vector<uint64_t> list_;
  uint32_t width_ = 320;
};

// The bytes RDRAM's storage has before and after its 8 MB, from the heap's alignment, made
// unreachable.
void PoisonAroundRdram() {
  auto* raw = static_cast<uint8_t*>(RDRAM->RawPtr);
  uint8_t* end = RDRAM->Data + kRdramExpandedSize;
  ASAN_POISON_MEMORY_REGION(raw, static_cast<size_t>(RDRAM->Data - raw));
  ASAN_POISON_MEMORY_REGION(end, static_cast<size_t>(raw + RDRAM->AllocSize - end));
}

// The display processor as a new run of the accurate machine finds it, over cleared RDRAM and
// DMEM. Nothing else of the machine runs: the clock holds the display processor's work alone.
void FreshDisplayProcessor() {
  static const bool started = [] {
    fuzz::RestartRun();
    fuzz::StartAccurateRun();
    PoisonAroundRdram();
    return true;
  }();
  (void)started;
  RDRAM->Clear();
  std::memset(DMEMPage->Data, 0, DMEMPage->Size);
  MachineClock.Reset();
  RdpReset();
}

void FillPattern(uint8_t seed) {
  uint32_t x = 0x9E3779B9u * (seed + 1u);
  for (uint32_t i = 0; i < kPatternBytes; i += 4) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    std::memcpy(RDRAM->Data + kPatternAddress + i, &x, 4);
  }
}

// Runs the clock until the display processor is idle or has used up the input's cycles.
void RunUntilIdle(uint32_t firstClock) {
  while (MachineClock.Pending(TEventKind::DpWork) &&
         RdpReadRegister(kDpcClock) - firstClock < kMaxCycles) {
    MachineClock.Advance(MachineClock.CyclesToNextEvent());
    MachineClock.RunDue();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TInput in(data, size);
  FreshDisplayProcessor();

  const uint8_t flags = in.Byte();
  const bool xbus = (flags & 7) == 0;
  const bool again = (flags & 0x18) == 0;
  const bool offTheEnd = (flags & 0xE0) == 0;
  const uint8_t split = in.Byte();
  FillPattern(in.Byte());
  const std::vector<uint64_t> list = TListBuilder(in).Build();
  const auto bytes = static_cast<uint32_t>(list.size() * 8);

  // From DMEM the list wraps inside its 4 KB; from RDRAM it may run past the end.
  uint32_t start = kListAddress;
  if (xbus) {
    start = (flags >> 3) * 8;
    for (size_t i = 0; i < list.size(); ++i) {
      const uint32_t at = (start + static_cast<uint32_t>(i) * 8) % kDmemListBytes;
      SetPageWord(DMEMPage->Data, at, static_cast<uint32_t>(list[i] >> 32));
      SetPageWord(DMEMPage->Data, at + 4, static_cast<uint32_t>(list[i]));
    }
  } else {
    if (offTheEnd) start = kRdramExpandedSize - kListTail;
    for (size_t i = 0; i < list.size(); ++i) {
      const uint32_t at = start + static_cast<uint32_t>(i) * 8;
      if (at >= kRdramExpandedSize) break;
      const uint32_t words[2] = {static_cast<uint32_t>(list[i] >> 32),
                                 static_cast<uint32_t>(list[i])};
      std::memcpy(RDRAM->Data + at, words, 8);
    }
  }

  const uint32_t firstClock = RdpReadRegister(kDpcClock);
  RdpWriteRegister(kDpcStatus, xbus ? kDpcSetXbus : kDpcClearXbus);
  RdpWriteRegister(kDpcStart, start);
  RdpWriteRegister(kDpcEnd, start + bytes);
  RunUntilIdle(firstClock);
  if (again && !list.empty()) {
    // The same list in two parts, the first ending anywhere, even inside a command.
    RdpWriteRegister(kDpcStart, start);
    RdpWriteRegister(kDpcEnd, start + 8 * (split * static_cast<uint32_t>(list.size()) / 256));
    RunUntilIdle(firstClock);
    RdpWriteRegister(kDpcEnd, start + bytes);
    RunUntilIdle(firstClock);
  }
  return 0;
}
