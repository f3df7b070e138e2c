// Display processor command words for tests, built field by field from the command layouts,
// and a fixture that runs command lists from RDRAM with the machine clock driven by hand.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "tests/support/Machine.h"

namespace vantor::test {

using TCommands = std::vector<uint64_t>;

inline uint64_t Field(uint64_t value, int low, int bits) {
  return (value & ((uint64_t{1} << bits) - 1)) << low;
}
inline uint64_t Command(uint32_t id) {
  return Field(id, 56, 6);
}

// Coordinates in quarter pixels (10.2), as the commands take them.
inline uint32_t Q(double pixels) {
  return static_cast<uint32_t>(pixels * 4 + 0.5);
}

uint64_t SetColorImage(uint32_t format, uint32_t size, uint32_t width, uint32_t address);
uint64_t SetTextureImage(uint32_t format, uint32_t size, uint32_t width, uint32_t address);
uint64_t SetZImage(uint32_t address);
uint64_t SetScissor(uint32_t xh, uint32_t yh, uint32_t xl, uint32_t yl, bool field = false,
                    bool odd = false);
uint64_t SetFillColor(uint32_t color);
uint64_t SetColor(uint32_t id, uint32_t rgba);  // fog 0x38, blend 0x39, prim 0x3A, env 0x3B
uint64_t SetPrimColor(uint32_t rgba, uint32_t minLevel = 0, uint32_t lodFrac = 0);
uint64_t SetPrimDepth(uint32_t z, uint32_t dz);
uint64_t FillRectangle(uint32_t xh, uint32_t yh, uint32_t xl, uint32_t yl);
uint64_t SyncFull();
uint64_t SyncPipe();

// Other modes by field; Word() gives the command.
struct TModes {
  uint32_t cycle = 0;
  bool perspective = false, detail = false, sharpen = false, lod = false, tlut = false,
       tlutIa = false, bilinear = false, midTexel = false, biLerp0 = true, biLerp1 = true,
       convertOne = false, key = false;
  uint32_t rgbDither = 3, alphaDither = 3;
  uint32_t p0 = 0, a0 = 0, m0 = 0, b0 = 0, p1 = 0, a1 = 0, m1 = 0, b1 = 0;
  bool forceBlend = false, alphaCvgSelect = false, cvgTimesAlpha = false;
  uint32_t zMode = 0, cvgDest = 0;
  bool colorOnCvg = false, imageRead = false, zUpdate = false, zCompare = false, antialias = false,
       zSourcePrim = false, ditherAlpha = false, alphaCompare = false;
  uint64_t Word() const;
};

// Combiner selects: (a - b) * c + d for colour and alpha, per cycle.
struct TCombineCycle {
  uint32_t a = 8, b = 8, c = 16, d = 7;
  uint32_t aa = 7, ba = 7, ca = 7, da = 7;
};
uint64_t SetCombine(const TCombineCycle& cycle0, const TCombineCycle& cycle1);
// The same equation in both cycles.
inline uint64_t SetCombine(const TCombineCycle& cycle) {
  return SetCombine(cycle, cycle);
}

struct TTileFields {
  uint32_t format = 0, size = 2, line = 0, tmem = 0, tile = 0, palette = 0;
  bool clampT = false, mirrorT = false;
  uint32_t maskT = 0, shiftT = 0;
  bool clampS = false, mirrorS = false;
  uint32_t maskS = 0, shiftS = 0;
};
uint64_t SetTile(const TTileFields& tile);
uint64_t SetTileSize(uint32_t tile, uint32_t sl, uint32_t tl, uint32_t sh, uint32_t th);
uint64_t LoadTile(uint32_t tile, uint32_t sl, uint32_t tl, uint32_t sh, uint32_t th);
uint64_t LoadBlock(uint32_t tile, uint32_t sl, uint32_t tl, uint32_t sh, uint32_t dxt);
uint64_t LoadTlut(uint32_t tile, uint32_t sl, uint32_t tl, uint32_t sh, uint32_t th);
// Texture rectangle: corners in 10.2, s and t in s10.5, steps in s5.10.
TCommands TextureRectangle(uint32_t tile, uint32_t xh, uint32_t yh, uint32_t xl, uint32_t yl,
                           int32_t s, int32_t t, int32_t dsdx, int32_t dtdy, bool flip = false);

// A triangle from three vertices: position in pixels, shade colour 0-255, texture coordinates
// in texels, the perspective divisor W (1.0 is the nearest), depth in integer depth units.
struct TVertex {
  double x = 0, y = 0;
  double r = 0, g = 0, b = 0, a = 0;
  double s = 0, t = 0, w = 1;
  double z = 0;
};
TCommands Triangle(const TVertex& v0, const TVertex& v1, const TVertex& v2, bool shade,
                   bool texture, bool depth, uint32_t tile = 0, uint32_t levels = 0);

// Raw triangle words from edge values: y in quarter pixels, x and slopes s15.16.
TCommands EdgeTriangle(bool leftMajor, int32_t yl, int32_t ym, int32_t yh, int32_t xl,
                       int32_t dxldy, int32_t xh, int32_t dxhdy, int32_t xm, int32_t dxmdy);

// RDRAM addresses the tests draw to.
inline constexpr uint32_t kListAddress = 0x080000;
inline constexpr uint32_t kColorAddress = 0x100000;
inline constexpr uint32_t kDepthAddress = 0x200000;
inline constexpr uint32_t kTextureAddress = 0x300000;

class RdpTest : public MachineTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Places the list in RDRAM at `at`, points START and END at it and runs the clock until the
  // display processor is idle.
  static void Run(const TCommands& list, uint32_t at = kListAddress);
  // Runs the clock's events until no DpWork is pending; returns the cycles that took.
  static uint64_t RunUntilIdle();

  static void PokeHalf(uint32_t address, uint32_t value);
  static uint32_t PeekHalf(uint32_t address);
  static void PokeByte(uint32_t address, uint32_t value);
  static uint32_t PeekByte(uint32_t address);
  static uint32_t PeekWord(uint32_t address);
  static void PokeWord(uint32_t address, uint32_t value);
  static void Clear(uint32_t address, uint32_t bytes);
};

}  // namespace vantor::test
