#include "tests/rdp/RdpCommands.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/Scheduler.h"
#include "memory/PlainPages.h"
#include "rdp/Raster.h"
#include "rdp/Rdp.h"

namespace vantor::test {

uint64_t SetColorImage(uint32_t format, uint32_t size, uint32_t width, uint32_t address) {
  return Command(0x3F) | Field(format, 53, 3) | Field(size, 51, 2) | Field(width - 1, 32, 10) |
         Field(address, 0, 26);
}

uint64_t SetTextureImage(uint32_t format, uint32_t size, uint32_t width, uint32_t address) {
  return Command(0x3D) | Field(format, 53, 3) | Field(size, 51, 2) | Field(width - 1, 32, 10) |
         Field(address, 0, 26);
}

uint64_t SetZImage(uint32_t address) {
  return Command(0x3E) | Field(address, 0, 26);
}

uint64_t SetScissor(uint32_t xh, uint32_t yh, uint32_t xl, uint32_t yl, bool field, bool odd) {
  return Command(0x2D) | Field(xh, 44, 12) | Field(yh, 32, 12) | Field(field, 25, 1) |
         Field(odd, 24, 1) | Field(xl, 12, 12) | Field(yl, 0, 12);
}

uint64_t SetFillColor(uint32_t color) {
  return Command(0x37) | color;
}
uint64_t SetColor(uint32_t id, uint32_t rgba) {
  return Command(id) | rgba;
}
uint64_t SetPrimColor(uint32_t rgba, uint32_t minLevel, uint32_t lodFrac) {
  return Command(0x3A) | Field(minLevel, 40, 5) | Field(lodFrac, 32, 8) | rgba;
}
uint64_t SetPrimDepth(uint32_t z, uint32_t dz) {
  return Command(0x2E) | Field(z, 16, 16) | Field(dz, 0, 16);
}

uint64_t FillRectangle(uint32_t xh, uint32_t yh, uint32_t xl, uint32_t yl) {
  return Command(0x36) | Field(xl, 44, 12) | Field(yl, 32, 12) | Field(xh, 12, 12) |
         Field(yh, 0, 12);
}

uint64_t SyncFull() {
  return Command(0x29);
}
uint64_t SyncPipe() {
  return Command(0x27);
}

uint64_t TModes::Word() const {
  return Command(0x2F) | Field(cycle, 52, 2) | Field(perspective, 51, 1) | Field(detail, 50, 1) |
         Field(sharpen, 49, 1) | Field(lod, 48, 1) | Field(tlut, 47, 1) | Field(tlutIa, 46, 1) |
         Field(bilinear, 45, 1) | Field(midTexel, 44, 1) | Field(biLerp0, 43, 1) |
         Field(biLerp1, 42, 1) | Field(convertOne, 41, 1) | Field(key, 40, 1) |
         Field(rgbDither, 38, 2) | Field(alphaDither, 36, 2) | Field(p0, 30, 2) | Field(p1, 28, 2) |
         Field(a0, 26, 2) | Field(a1, 24, 2) | Field(m0, 22, 2) | Field(m1, 20, 2) |
         Field(b0, 18, 2) | Field(b1, 16, 2) | Field(forceBlend, 14, 1) |
         Field(alphaCvgSelect, 13, 1) | Field(cvgTimesAlpha, 12, 1) | Field(zMode, 10, 2) |
         Field(cvgDest, 8, 2) | Field(colorOnCvg, 7, 1) | Field(imageRead, 6, 1) |
         Field(zUpdate, 5, 1) | Field(zCompare, 4, 1) | Field(antialias, 3, 1) |
         Field(zSourcePrim, 2, 1) | Field(ditherAlpha, 1, 1) | Field(alphaCompare, 0, 1);
}

uint64_t SetCombine(const TCombineCycle& c0, const TCombineCycle& c1) {
  return Command(0x3C) | Field(c0.a, 52, 4) | Field(c0.c, 47, 5) | Field(c0.aa, 44, 3) |
         Field(c0.ca, 41, 3) | Field(c1.a, 37, 4) | Field(c1.c, 32, 5) | Field(c0.b, 28, 4) |
         Field(c1.b, 24, 4) | Field(c1.aa, 21, 3) | Field(c1.ca, 18, 3) | Field(c0.d, 15, 3) |
         Field(c0.ba, 12, 3) | Field(c0.da, 9, 3) | Field(c1.d, 6, 3) | Field(c1.ba, 3, 3) |
         Field(c1.da, 0, 3);
}

uint64_t SetTile(const TTileFields& t) {
  return Command(0x35) | Field(t.format, 53, 3) | Field(t.size, 51, 2) | Field(t.line, 41, 9) |
         Field(t.tmem, 32, 9) | Field(t.tile, 24, 3) | Field(t.palette, 20, 4) |
         Field(t.clampT, 19, 1) | Field(t.mirrorT, 18, 1) | Field(t.maskT, 14, 4) |
         Field(t.shiftT, 10, 4) | Field(t.clampS, 9, 1) | Field(t.mirrorS, 8, 1) |
         Field(t.maskS, 4, 4) | Field(t.shiftS, 0, 4);
}

namespace {
uint64_t TileRange(uint32_t id, uint32_t tile, uint32_t sl, uint32_t tl, uint32_t sh, uint32_t th) {
  return Command(id) | Field(sl, 44, 12) | Field(tl, 32, 12) | Field(tile, 24, 3) |
         Field(sh, 12, 12) | Field(th, 0, 12);
}
}  // namespace

uint64_t SetTileSize(uint32_t tile, uint32_t sl, uint32_t tl, uint32_t sh, uint32_t th) {
  return TileRange(0x32, tile, sl, tl, sh, th);
}
uint64_t LoadTile(uint32_t tile, uint32_t sl, uint32_t tl, uint32_t sh, uint32_t th) {
  return TileRange(0x34, tile, sl, tl, sh, th);
}
uint64_t LoadBlock(uint32_t tile, uint32_t sl, uint32_t tl, uint32_t sh, uint32_t dxt) {
  return TileRange(0x33, tile, sl, tl, sh, dxt);
}
uint64_t LoadTlut(uint32_t tile, uint32_t sl, uint32_t tl, uint32_t sh, uint32_t th) {
  return TileRange(0x30, tile, sl, tl, sh, th);
}

TCommands TextureRectangle(uint32_t tile, uint32_t xh, uint32_t yh, uint32_t xl, uint32_t yl,
                           int32_t s, int32_t t, int32_t dsdx, int32_t dtdy, bool flip) {
  return {Command(flip ? 0x25 : 0x24) | Field(xl, 44, 12) | Field(yl, 32, 12) | Field(tile, 24, 3) |
              Field(xh, 12, 12) | Field(yh, 0, 12),
          Field(static_cast<uint32_t>(s), 48, 16) | Field(static_cast<uint32_t>(t), 32, 16) |
              Field(static_cast<uint32_t>(dsdx), 16, 16) |
              Field(static_cast<uint32_t>(dtdy), 0, 16)};
}

TCommands EdgeTriangle(bool leftMajor, int32_t yl, int32_t ym, int32_t yh, int32_t xl,
                       int32_t dxldy, int32_t xh, int32_t dxhdy, int32_t xm, int32_t dxmdy) {
  auto pair = [](int32_t high, int32_t low) {
    return uint64_t{static_cast<uint32_t>(high)} << 32 | static_cast<uint32_t>(low);
  };
  return {Command(0x08) | Field(leftMajor, 55, 1) | Field(static_cast<uint32_t>(yl), 32, 14) |
              Field(static_cast<uint32_t>(ym), 16, 14) | Field(static_cast<uint32_t>(yh), 0, 14),
          pair(xl, dxldy), pair(xh, dxhdy), pair(xm, dxmdy)};
}

namespace {

int32_t Fixed(double value) {
  return static_cast<int32_t>(std::llround(value * 65536.0));
}

// Eight words of coefficients for four attributes given as s15.16 values.
void Coefficients(TCommands& out, const int32_t (&value)[4], const int32_t (&dx)[4],
                  const int32_t (&de)[4], const int32_t (&dy)[4]) {
  auto integers = [](const int32_t(&v)[4]) {
    uint64_t word = 0;
    for (int i = 0; i < 4; ++i)
      word |= Field(static_cast<uint32_t>(v[i]) >> 16, 48 - 16 * i, 16);
    return word;
  };
  auto fractions = [](const int32_t(&v)[4]) {
    uint64_t word = 0;
    for (int i = 0; i < 4; ++i)
      word |= Field(static_cast<uint32_t>(v[i]) & 0xFFFF, 48 - 16 * i, 16);
    return word;
  };
  out.push_back(integers(value));
  out.push_back(integers(dx));
  out.push_back(fractions(value));
  out.push_back(fractions(dx));
  out.push_back(integers(de));
  out.push_back(integers(dy));
  out.push_back(fractions(de));
  out.push_back(fractions(dy));
}

}  // namespace

TCommands Triangle(const TVertex& v0, const TVertex& v1, const TVertex& v2, bool shade,
                   bool texture, bool depth, uint32_t tile, uint32_t levels) {
  TVertex v[3] = {v0, v1, v2};
  std::sort(v, v + 3, [](const TVertex& a, const TVertex& b) { return a.y < b.y; });
  const TVertex &h = v[0], &m = v[1], &l = v[2];
  const int32_t yh = static_cast<int32_t>(std::lround(h.y * 4));
  const int32_t ym = static_cast<int32_t>(std::lround(m.y * 4));
  const int32_t yl = static_cast<int32_t>(std::lround(l.y * 4));
  auto slope = [](const TVertex& from, const TVertex& to) {
    return to.y == from.y ? 0.0 : (to.x - from.x) / (to.y - from.y);
  };
  const double dxhdy = slope(h, l), dxmdy = slope(h, m), dxldy = slope(m, l);
  const double top = std::floor(yh / 4.0);
  const double xh = h.x + dxhdy * (top - h.y);
  const double xm = h.x + dxmdy * (top - h.y);
  const bool leftMajor = h.x + dxhdy * (m.y - h.y) < m.x;
  TCommands out = EdgeTriangle(leftMajor, yl, ym, yh, Fixed(m.x), Fixed(dxldy), Fixed(xh),
                               Fixed(dxhdy), Fixed(xm), Fixed(dxmdy));
  out[0] |= Field(0x08 | (shade ? 4 : 0) | (texture ? 2 : 0) | (depth ? 1 : 0), 56, 6) |
            Field(levels, 51, 3) | Field(tile, 48, 3);
  // Each attribute is a plane through the vertices, given at the major edge on the top
  // scanline, with its steps in x, along the major edge and in y.
  const double det = (m.x - h.x) * (l.y - h.y) - (l.x - h.x) * (m.y - h.y);
  auto plane = [&](auto attribute, double scale, int32_t& value, int32_t& dx, int32_t& de,
                   int32_t& dy) {
    const double a0 = attribute(h) * scale, a1 = attribute(m) * scale, a2 = attribute(l) * scale;
    double ddx = 0, ddy = 0;
    if (det != 0) {
      ddx = ((a1 - a0) * (l.y - h.y) - (a2 - a0) * (m.y - h.y)) / det;
      ddy = ((a2 - a0) * (m.x - h.x) - (a1 - a0) * (l.x - h.x)) / det;
    }
    value = Fixed(a0 + ddx * (xh - h.x) + ddy * (top - h.y));
    dx = Fixed(ddx);
    de = Fixed(ddy + ddx * dxhdy);
    dy = Fixed(ddy);
  };
  if (shade) {
    int32_t value[4], dx[4], de[4], dy[4];
    plane([](const TVertex& p) { return p.r; }, 1, value[0], dx[0], de[0], dy[0]);
    plane([](const TVertex& p) { return p.g; }, 1, value[1], dx[1], de[1], dy[1]);
    plane([](const TVertex& p) { return p.b; }, 1, value[2], dx[2], de[2], dy[2]);
    plane([](const TVertex& p) { return p.a; }, 1, value[3], dx[3], de[3], dy[3]);
    Coefficients(out, value, dx, de, dy);
  }
  if (texture) {
    int32_t value[4] = {}, dx[4] = {}, de[4] = {}, dy[4] = {};
    plane([](const TVertex& p) { return p.s * p.w; }, 32, value[0], dx[0], de[0], dy[0]);
    plane([](const TVertex& p) { return p.t * p.w; }, 32, value[1], dx[1], de[1], dy[1]);
    // W is the perspective divisor with 1.0 at the top of its range (0x7FFF).
    plane([](const TVertex& p) { return p.w; }, 32767, value[2], dx[2], de[2], dy[2]);
    Coefficients(out, value, dx, de, dy);
  }
  if (depth) {
    int32_t value, dx, de, dy;
    plane([](const TVertex& p) { return p.z; }, 1, value, dx, de, dy);
    out.push_back(uint64_t{static_cast<uint32_t>(value)} << 32 | static_cast<uint32_t>(dx));
    out.push_back(uint64_t{static_cast<uint32_t>(de)} << 32 | static_cast<uint32_t>(dy));
  }
  return out;
}

void RdpTest::SetUp() {
  MachineTest::SetUp();
  UseAccurateHardware();
}

void RdpTest::TearDown() {
  rdp::PrimitiveDrawer = nullptr;
  MachineTest::TearDown();
}

uint64_t RdpTest::RunUntilIdle() {
  const uint64_t start = MachineClock.Now();
  while (MachineClock.Pending(TEventKind::DpWork)) {
    MachineClock.Advance(MachineClock.CyclesToNextEvent());
    MachineClock.RunDue();
  }
  return MachineClock.Now() - start;
}

void RdpTest::Run(const TCommands& list, uint32_t at) {
  for (size_t i = 0; i < list.size(); ++i) {
    PokeWord(at + static_cast<uint32_t>(i) * 8, static_cast<uint32_t>(list[i] >> 32));
    PokeWord(at + static_cast<uint32_t>(i) * 8 + 4, static_cast<uint32_t>(list[i]));
  }
  RdpWriteRegister(kDpcStart, at);
  RdpWriteRegister(kDpcEnd, at + static_cast<uint32_t>(list.size()) * 8);
  RunUntilIdle();
}

void RdpTest::PokeWord(uint32_t address, uint32_t value) {
  Poke(0x80000000 | address, value);
}
uint32_t RdpTest::PeekWord(uint32_t address) {
  return Peek(0x80000000 | address);
}

void RdpTest::PokeHalf(uint32_t address, uint32_t value) {
  const uint32_t word = PeekWord(address & ~3u);
  const uint32_t shift = (address & 2) != 0 ? 0 : 16;
  PokeWord(address & ~3u, (word & ~(0xFFFFu << shift)) | (value & 0xFFFF) << shift);
}
uint32_t RdpTest::PeekHalf(uint32_t address) {
  return (PeekWord(address & ~3u) >> ((address & 2) != 0 ? 0 : 16)) & 0xFFFF;
}
void RdpTest::PokeByte(uint32_t address, uint32_t value) {
  const uint32_t word = PeekWord(address & ~3u);
  const uint32_t shift = 24 - 8 * (address & 3);
  PokeWord(address & ~3u, (word & ~(0xFFu << shift)) | (value & 0xFF) << shift);
}
uint32_t RdpTest::PeekByte(uint32_t address) {
  return (PeekWord(address & ~3u) >> (24 - 8 * (address & 3))) & 0xFF;
}

void RdpTest::Clear(uint32_t address, uint32_t bytes) {
  for (uint32_t i = 0; i < bytes; i += 4)
    PokeWord(address + i, 0);
}

}  // namespace vantor::test
