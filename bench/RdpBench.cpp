// Pixels per CPU-second of the display processor on command lists of our own, run as the
// machine runs them (START and END written, the clock's DpWork events run until it is idle):
// fill rectangles, copy-mode texture rectangles, and textured, shaded, depth-tested triangles
// with perspective and bilinear filtering in one-cycle and two-cycle mode. The median of the
// rounds is reported for each, with a hash of the images the case leaves.
//   build/release/rdp_bench [rounds] [frames per round] [case number, 1 to 4: only that one]
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/Scheduler.h"
#include "memory/AddressMap.h"
#include "memory/PlainPages.h"
#include "rdp/Raster.h"
#include "rdp/Rdp.h"

namespace {

using namespace vantor;
using TList = std::vector<uint64_t>;

constexpr uint32_t kWidth = 320, kHeight = 240;
constexpr uint32_t kColor = 0x100000, kDepth = 0x180000, kTexture = 0x200000, kList = 0x300000;

double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

uint64_t Field(uint64_t value, int low, int bits) {
  return (value & ((uint64_t{1} << bits) - 1)) << low;
}
uint64_t Command(uint32_t id) {
  return Field(id, 56, 6);
}
uint64_t Rect(uint32_t id, uint32_t xh, uint32_t yh, uint32_t xl, uint32_t yl, uint32_t tile = 0) {
  return Command(id) | Field(xl, 44, 12) | Field(yl, 32, 12) | Field(tile, 24, 3) |
         Field(xh, 12, 12) | Field(yh, 0, 12);
}
uint64_t Image(uint32_t id, uint32_t format, uint32_t size, uint32_t width, uint32_t address) {
  return Command(id) | Field(format, 53, 3) | Field(size, 51, 2) | Field(width - 1, 32, 10) |
         address;
}
int32_t Fixed(double v) {
  return static_cast<int32_t>(std::llround(v * 65536.0));
}

struct TVertex {
  double x, y, r, g, b, a, s, t, w, z;
};

// A shaded, textured, depth-buffered triangle through three vertices.
void Triangle(TList& out, TVertex v0, TVertex v1, TVertex v2) {
  TVertex v[3] = {v0, v1, v2};
  std::sort(v, v + 3, [](const TVertex& a, const TVertex& b) { return a.y < b.y; });
  const TVertex &h = v[0], &m = v[1], &l = v[2];
  auto slope = [](const TVertex& a, const TVertex& b) {
    return b.y == a.y ? 0.0 : (b.x - a.x) / (b.y - a.y);
  };
  const double dxh = slope(h, l), dxm = slope(h, m), dxl = slope(m, l);
  const double top = std::floor(h.y);
  const double xh = h.x + dxh * (top - h.y), xm = h.x + dxm * (top - h.y);
  const bool left = h.x + dxh * (m.y - h.y) < m.x;
  auto pair = [](int32_t a, int32_t b) {
    return uint64_t{static_cast<uint32_t>(a)} << 32 | static_cast<uint32_t>(b);
  };
  out.push_back(Command(0x0F) | Field(left, 55, 1) | Field(std::lround(l.y * 4), 32, 14) |
                Field(std::lround(m.y * 4), 16, 14) | Field(std::lround(h.y * 4), 0, 14));
  out.push_back(pair(Fixed(m.x), Fixed(dxl)));
  out.push_back(pair(Fixed(xh), Fixed(dxh)));
  out.push_back(pair(Fixed(xm), Fixed(dxm)));
  const double det = (m.x - h.x) * (l.y - h.y) - (l.x - h.x) * (m.y - h.y);
  auto plane = [&](double a0, double a1, double a2, int32_t* c) {
    const double dx = ((a1 - a0) * (l.y - h.y) - (a2 - a0) * (m.y - h.y)) / det;
    const double dy = ((a2 - a0) * (m.x - h.x) - (a1 - a0) * (l.x - h.x)) / det;
    c[0] = Fixed(a0 + dx * (xh - h.x) + dy * (top - h.y));
    c[1] = Fixed(dx);
    c[2] = Fixed(dy + dx * dxh);
    c[3] = Fixed(dy);
  };
  auto words = [&](int32_t(*c)[4]) {
    uint64_t w[8] = {};
    const int order[8][2] = {{0, 1}, {1, 1}, {0, 0}, {1, 0}, {2, 1}, {3, 1}, {2, 0}, {3, 0}};
    for (int k = 0; k < 8; ++k)
      for (int i = 0; i < 4; ++i) {
        const auto bits = static_cast<uint32_t>(c[i][order[k][0]]);
        w[k] |= Field(order[k][1] != 0 ? bits >> 16 : bits & 0xFFFF, 48 - 16 * i, 16);
      }
    out.insert(out.end(), w, w + 8);
  };
  int32_t shade[4][4], texture[4][4] = {};
  plane(h.r, m.r, l.r, shade[0]);
  plane(h.g, m.g, l.g, shade[1]);
  plane(h.b, m.b, l.b, shade[2]);
  plane(h.a, m.a, l.a, shade[3]);
  words(shade);
  plane(h.s * h.w * 32, m.s * m.w * 32, l.s * l.w * 32, texture[0]);
  plane(h.t * h.w * 32, m.t * m.w * 32, l.t * l.w * 32, texture[1]);
  plane(h.w * 32767, m.w * 32767, l.w * 32767, texture[2]);
  words(texture);
  int32_t z[4];
  plane(h.z, m.z, l.z, z);
  out.push_back(pair(z[0], z[1]));
  out.push_back(pair(z[2], z[3]));
}

TList Frame() {
  return {Image(0x3F, 0, 2, kWidth, kColor), Command(0x3E) | kDepth,
          Command(0x2D) | Field(kWidth * 4, 12, 12) | Field(kHeight * 4, 0, 12)};
}

// Clears the depth image in fill mode.
TList ClearList() {
  TList list = Frame();
  list.push_back(Image(0x3F, 0, 2, kWidth, kDepth));
  list.push_back(Command(0x2F) | Field(3, 52, 2));
  list.push_back(Command(0x37) | 0xFFFCFFFC);
  list.push_back(Rect(0x36, 0, 0, (kWidth - 1) * 4, (kHeight - 1) * 4));
  return list;
}

// A 32 x 32 texture of 16-bit texels in TMEM as tile 0, wrapping both ways.
void LoadTexture(TList& list) {
  list.push_back(Image(0x3D, 0, 2, 32, kTexture));
  list.push_back(Command(0x35) | Field(2, 51, 2) | Field(8, 41, 9) | Field(5, 14, 4) |
                 Field(5, 4, 4));
  list.push_back(Rect(0x34, 0, 0, 31 * 4, 31 * 4));
}

TList FillList() {
  TList list = Frame();
  list.push_back(Command(0x2F) | Field(3, 52, 2));
  for (uint32_t i = 0; i < 4; ++i) {
    list.push_back(Command(0x37) | (0x12345678u * (i + 1)));
    list.push_back(Rect(0x36, 0, 0, (kWidth - 1) * 4, (kHeight - 1) * 4));
  }
  return list;
}

TList CopyList() {
  TList list = Frame();
  LoadTexture(list);
  list.push_back(Command(0x2F) | Field(2, 52, 2));
  for (uint32_t pass = 0; pass < 2; ++pass)
    for (uint32_t y = 0; y < kHeight; y += 32)
      for (uint32_t x = 0; x < kWidth; x += 32) {
        list.push_back(Rect(0x24, x * 4, y * 4, (x + 31) * 4, (y + 31) * 4));
        list.push_back(Field(4 << 10, 16, 16) | Field(1 << 10, 0, 16));
      }
  return list;
}

// A mesh of 16 x 16-pixel cells over the frame, two triangles each, lit and textured in
// perspective, depth-tested. Each frame draws at the depths the last one left, which pass: the
// depth image is cleared once, before the frames are timed.
TList TriangleList(bool twoCycle) {
  TList list = Frame();
  LoadTexture(list);
  // One cycle: TEXEL0 * SHADE; two cycles: that, then blended with the environment colour by
  // the texel's alpha, and fogged in the blender's first cycle.
  const uint64_t modulate = Field(1, 52, 4) | Field(4, 47, 5) | Field(1, 44, 3) | Field(4, 41, 3) |
                            Field(15, 28, 4) | Field(7, 15, 3) | Field(7, 12, 3) | Field(7, 9, 3);
  const uint64_t second =
      twoCycle ? Field(0, 37, 4) | Field(8, 32, 5) | Field(5, 24, 4) | Field(7, 21, 3) |
                     Field(7, 18, 3) | Field(5, 6, 3) | Field(7, 3, 3) | Field(0, 0, 3)
               : Field(1, 37, 4) | Field(4, 32, 5) | Field(15, 24, 4) | Field(1, 21, 3) |
                     Field(4, 18, 3) | Field(7, 6, 3) | Field(7, 3, 3) | Field(7, 0, 3);
  list.push_back(Command(0x3C) | modulate | second);
  list.push_back(Command(0x3B) | 0x204060FF);
  list.push_back(Command(0x38) | 0x8080C0FF);
  // Perspective, bilinear; depth compare and update; dithered; in two cycles fog by shade alpha.
  uint64_t modes = Field(twoCycle ? 1 : 0, 52, 2) | Field(1, 51, 1) | Field(1, 45, 1) |
                   Field(1, 43, 1) | Field(1, 42, 1) | Field(1, 38, 2) | Field(3, 36, 2) |
                   Field(1, 5, 1) | Field(1, 4, 1);
  if (twoCycle) modes |= Field(3, 30, 2) | Field(2, 26, 2) | Field(0, 22, 2) | Field(0, 18, 2);
  list.push_back(Command(0x2F) | modes);
  for (uint32_t y = 0; y < kHeight; y += 16)
    for (uint32_t x = 0; x < kWidth; x += 16) {
      auto vertex = [&](double vx, double vy) {
        const double w = 0.25 + 0.75 * (vy / kHeight);
        return TVertex{vx,     vy, 255 * vx / kWidth, 255 * vy / kHeight, 128, 200, vx / 4,
                       vy / 4, w,  0x7000 - vy * 8};
      };
      const double x0 = x, y0 = y, x1 = x + 16, y1 = y + 16;
      Triangle(list, vertex(x0, y0), vertex(x1, y0), vertex(x0, y1));
      Triangle(list, vertex(x1, y0), vertex(x1, y1), vertex(x0, y1));
    }
  return list;
}

void Place(const TList& list) {
  for (size_t i = 0; i < list.size(); ++i) {
    uint32_t words[2] = {static_cast<uint32_t>(list[i] >> 32), static_cast<uint32_t>(list[i])};
    std::memcpy(RDRAM->Data + kList + i * 8, words, 8);
  }
}

uint64_t pixelsPerFrame = 0;

// A hash of the colour and depth images, so that a change to the rasterizer can show it draws
// the same pictures.
uint64_t ImageHash() {
  uint64_t hash = 0xCBF29CE484222325;
  for (const uint32_t base : {kColor, kDepth})
    for (uint32_t i = 0; i < kWidth * kHeight * 2; ++i)
      hash = (hash ^ RDRAM->Data[base + i]) * 0x100000001B3;
  return hash;
}

// Runs the list placed at kList `frames` times; returns pixels per CPU-second.
double Run(size_t words, uint32_t frames) {
  const uint64_t before = rdp::PixelsTouched;
  const double start = CpuSeconds();
  for (uint32_t frame = 0; frame < frames; ++frame) {
    RdpWriteRegister(kDpcStart, kList);
    RdpWriteRegister(kDpcEnd, kList + static_cast<uint32_t>(words) * 8);
    while (MachineClock.Pending(TEventKind::DpWork)) {
      MachineClock.Advance(MachineClock.CyclesToNextEvent());
      MachineClock.RunDue();
    }
  }
  const double seconds = CpuSeconds() - start;
  pixelsPerFrame = (rdp::PixelsTouched - before) / frames;
  return static_cast<double>(rdp::PixelsTouched - before) / seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const uint32_t frames = argc > 2 ? static_cast<uint32_t>(std::max(1, std::atoi(argv[2]))) : 20;
  const int only = argc > 3 ? std::atoi(argv[3]) : 0;
  if (!CreateMemoryBlocks()) return 1;
  InitMemoryMap();
  MachineClock.Reset();
  RdpReset();
  for (uint32_t i = 0; i < 32 * 32; ++i) {
    const uint16_t texel = static_cast<uint16_t>((i * 0x9E37) | 1);
    std::memcpy(RDRAM->Data + ((kTexture + i * 2) ^ 2), &texel, 2);
  }
  struct TCase {
    const char* name;
    TList list;
  };
  const TCase cases[] = {{"fill rectangles", FillList()},
                         {"copy-mode texture rectangles", CopyList()},
                         {"one-cycle textured shaded depth-tested triangles", TriangleList(false)},
                         {"two-cycle textured shaded depth-tested triangles", TriangleList(true)}};
  std::printf("Display processor, %u frames of %ux%u per round, median of %d rounds\n", frames,
              kWidth, kHeight, rounds);
  const TList clear = ClearList();
  for (int number = 1; number <= 4; ++number) {
    if (only != 0 && number != only) continue;
    const TCase& c = cases[number - 1];
    Place(clear);
    Run(clear.size(), 1);
    Place(c.list);
    std::vector<double> rates;
    for (int round = 0; round < rounds; ++round)
      rates.push_back(Run(c.list.size(), frames));
    std::sort(rates.begin(), rates.end());
    std::printf(
        "  %-50s %8.1f million pixels per CPU-second (%llu pixels a frame, images %016llx)\n",
        c.name, rates[rates.size() / 2] / 1e6, static_cast<unsigned long long>(pixelsPerFrame),
        static_cast<unsigned long long>(ImageHash()));
  }
  return 0;
}
