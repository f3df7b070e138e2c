#include "memory/AccurateVideo.h"

#include <algorithm>

#include "common/MachineState.h"
#include "core/Scheduler.h"
#include "memory/AddressMap.h"
#include "memory/VideoInterface.h"

namespace vantor {

namespace {

constexpr uint32_t kStatus = 0x00, kOrigin = 0x04, kWidth = 0x08, kVIntr = 0x0C, kVCurrent = 0x10,
                   kVSync = 0x18, kHSync = 0x1C, kHVideo = 0x24, kVVideo = 0x28, kXScale = 0x30,
                   kYScale = 0x34, kLastRegister = kYScale;

// The bits each register keeps, by offset / 4.
constexpr uint32_t kRegisterMasks[] = {
    0x0001FBFF,  // STATUS
    0x00FFFFFF,  // ORIGIN
    0x00000FFF,  // WIDTH
    0x000003FF,  // V_INTR
    0x000003FF,  // V_CURRENT (not stored: it reads the line)
    0x3FFFFFFF,  // BURST
    0x000003FF,  // V_SYNC
    0x001F0FFF,  // H_SYNC
    0x0FFF0FFF,  // LEAP
    0x03FF03FF,  // H_VIDEO
    0x03FF03FF,  // V_VIDEO
    0x03FF03FF,  // V_BURST
    0x0FFF0FFF,  // X_SCALE
    0x0FFF0FFF,  // Y_SCALE
};

// The standards' line length (VI clocks per line) and half-lines per field, non-interlaced:
// 59.83 fields a second for NTSC, 49.92 for PAL.
constexpr uint32_t kNtscLineClocks = 3094, kNtscHalfLines = 526;
constexpr uint32_t kPalLineClocks = 3178, kPalHalfLines = 626;

uint64_t videoClock = 48'681'812;
uint32_t standardLineClocks = kNtscLineClocks;
uint32_t standardHalfLines = kNtscHalfLines;
// The last field whose frame was presented, so each field presents once.
uint64_t presentedField = UINT64_MAX;
int32_t notifiedWidth = 0, notifiedHeight = 0;

// A register as the VI keeps it: a restored page may hold any bits, the VI sees only its own.
uint32_t Reg(uint32_t offset) {
  return PageWord(VIRegisterPage, offset) & kRegisterMasks[offset / 4];
}

uint32_t LineClocks() {
  const uint32_t clocks = (Reg(kHSync) & 0xFFF) + 1;
  return clocks > 1 ? clocks : standardLineClocks;
}

uint32_t HalfLines() {
  const uint32_t halfLines = Reg(kVSync) + 1;
  return halfLines > 1 ? halfLines : standardHalfLines;
}

// Lines of the current timing since cycle 0: a change of timing moves the beam at once, as a
// new sync would on the console.
uint64_t LinesAt(uint64_t cycle) {
  const auto clocks = static_cast<unsigned __int128>(cycle) * videoClock;
  return static_cast<uint64_t>(clocks /
                               (static_cast<unsigned __int128>(kCpuClockHz) * LineClocks()));
}

// The first cycle at or after which `line` has begun.
uint64_t LineStart(uint64_t line) {
  const auto numerator = static_cast<unsigned __int128>(line) * LineClocks() * kCpuClockHz;
  return static_cast<uint64_t>((numerator + videoClock - 1) / videoClock);
}

// Where the beam is: the field since cycle 0 and the half-line within it.
struct TBeam {
  uint64_t field;
  uint32_t halfLine;
};

TBeam BeamNow() {
  const uint64_t halfLines = 2 * LinesAt(MachineClock.Now());
  return {halfLines / HalfLines(), static_cast<uint32_t>(halfLines % HalfLines())};
}

// The half-line after which the field's picture has been scanned: the end of the video area, or
// the field's first line while no area is set.
uint32_t PresentHalfLine() {
  const uint32_t end = Reg(kVVideo) & 0x3FF;
  return end < HalfLines() ? end : 0;
}

// The next line after the current one on which something happens: the line that holds
// VI_V_INTR's half-line, or the first of a field at or past its presenting half-line. Lines in
// between pass without an event, so an idle loop skips to the next of these.
void ScheduleNextLine() {
  const uint64_t line = LinesAt(MachineClock.Now());
  const uint64_t halfLines = HalfLines();
  const uint64_t field = 2 * line / halfLines;
  const uint64_t interruptHalfLine = Reg(kVIntr) & ~1u;
  uint64_t next = UINT64_MAX;
  for (uint64_t f = field; f <= field + 1; ++f) {
    for (uint64_t halfLine : {interruptHalfLine, uint64_t{PresentHalfLine()}}) {
      if (halfLine >= halfLines) continue;
      const uint64_t candidate = (f * halfLines + halfLine + 1) / 2;
      if (candidate > line) next = std::min(next, candidate);
    }
  }
  MachineClock.ScheduleAt(TEventKind::ViLine, LineStart(next));
}

void LineBegins() {
  const TBeam beam = BeamNow();
  // The interrupt comes on the line that holds VI_V_INTR's half-line.
  if (beam.halfLine >> 1 == Reg(kVIntr) >> 1) *MI_INTR |= kMiIntrVI;
  if (beam.halfLine >= PresentHalfLine() && presentedField != beam.field) {
    presentedField = beam.field;
    TViPicture picture;
    if (DescribeViPicture(picture) &&
        (picture.width != notifiedWidth || picture.height != notifiedHeight)) {
      notifiedWidth = picture.width;
      notifiedHeight = picture.height;
      NotifyResolution(picture.width, picture.height);
    }
    MachineClock.SignalFrame();
  }
  ScheduleNextLine();
}

}  // namespace

void SetVideoStandard(uint32_t videoClockHz, bool pal) {
  videoClock = videoClockHz;
  standardLineClocks = pal ? kPalLineClocks : kNtscLineClocks;
  standardHalfLines = pal ? kPalHalfLines : kNtscHalfLines;
  MachineClock.SetHandler(TEventKind::ViLine, LineBegins);
}

void AccurateVideoReset() {
  presentedField = UINT64_MAX;
  notifiedWidth = notifiedHeight = 0;
  ScheduleNextLine();
}

void AccurateVideoRestored() {
  notifiedWidth = notifiedHeight = 0;
  const TBeam beam = BeamNow();
  presentedField = beam.halfLine >= PresentHalfLine() ? beam.field : beam.field - 1;
  if (!MachineClock.Pending(TEventKind::ViLine)) ScheduleNextLine();
}

uint32_t AccurateVIRead(uint32_t, uint32_t offset) {
  if (offset > kLastRegister || offset % 4 != 0) return 0;
  if (offset == kVCurrent) return ViCurrentHalfLine();
  return Reg(offset);
}

void AccurateVIWrite(uint32_t, uint32_t offset, uint32_t value) {
  if (offset > kLastRegister || offset % 4 != 0) return;
  if (offset == kVCurrent) {
    *MI_INTR &= ~kMiIntrVI;
    return;
  }
  SetPageWord(VIRegisterPage, offset, value & kRegisterMasks[offset / 4]);
  // The next event moves with the timing, the interrupt's line and the video area.
  if (offset == kHSync || offset == kVSync || offset == kVIntr || offset == kVVideo)
    ScheduleNextLine();
}

bool DescribeViPicture(TViPicture& picture) {
  const uint32_t type = Reg(kStatus) & 3;
  if (type < 2) return false;
  const uint32_t bytesPerPixel = type == 3 ? 4 : 2;
  const uint32_t stridePixels = Reg(kWidth);
  if (stridePixels == 0) return false;
  const uint32_t hStart = Reg(kHVideo) >> 16, hEnd = Reg(kHVideo) & 0x3FF;
  const uint32_t vStart = Reg(kVVideo) >> 16, vEnd = Reg(kVVideo) & 0x3FF;
  const uint32_t xScale = Reg(kXScale) & 0xFFF, yScale = Reg(kYScale) & 0xFFF;
  picture.format = type == 3 ? TViFormat::Rgba8888 : TViFormat::Rgba5551;
  picture.origin = Reg(kOrigin);
  picture.strideBytes = stridePixels * bytesPerPixel;
  if (hEnd <= hStart || vEnd <= vStart || xScale == 0 || yScale == 0) {
    // A program that sets only the stride gets the 4:3 picture it spans.
    picture.width = static_cast<int32_t>(stridePixels);
    picture.height = static_cast<int32_t>(stridePixels * 3 / 4);
    picture.showWidth = picture.width;
    picture.showHeight = picture.height;
    return picture.height > 0;
  }
  // The video area is in screen pixels across and half-lines down; a field shows one line in
  // two of them, and the scales say how many source pixels and lines each screen one covers.
  const uint32_t screenWidth = hEnd - hStart;
  const uint32_t fieldLines = (vEnd - vStart) / 2;
  picture.width = static_cast<int32_t>((screenWidth * xScale + 1023) / 1024);
  picture.height = static_cast<int32_t>((fieldLines * yScale + 1023) / 1024);
  picture.width = std::min<int32_t>(picture.width, static_cast<int32_t>(stridePixels));
  const bool interlaced = (Reg(kStatus) & 0x40) != 0;
  picture.showWidth = static_cast<int32_t>(screenWidth);
  picture.showHeight = static_cast<int32_t>(interlaced ? 2 * fieldLines : fieldLines);
  return picture.width > 0 && picture.height > 0;
}

uint32_t ViHalfLinesPerField() {
  return HalfLines();
}

uint32_t ViCurrentHalfLine() {
  return BeamNow().halfLine;
}

int32_t ViCyclesToFrame() {
  const uint64_t now = MachineClock.Now();
  const uint64_t line = LinesAt(now);
  const uint64_t halfLines = 2 * line;
  const uint64_t fieldStart = halfLines - halfLines % HalfLines();
  uint64_t target = fieldStart + PresentHalfLine();
  if (target <= halfLines) target += HalfLines();
  return static_cast<int32_t>(LineStart((target + 1) / 2) - now);
}

}  // namespace vantor
