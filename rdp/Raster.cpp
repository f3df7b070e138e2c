#include "rdp/Raster.h"

#include <algorithm>
#include <cstdint>
#include <type_traits>

#include "rdp/EdgeWalk.h"
#include "rdp/Pipeline.h"
#include "rdp/RdpState.h"
#include "rdp/Texture.h"

namespace vantor::rdp {

TPrimitiveDrawer PrimitiveDrawer = nullptr;
uint64_t PixelsTouched = 0;

namespace {

TPipeline pipeline;

uint32_t Add(uint32_t a, int32_t b) {
  return a + static_cast<uint32_t>(b);
}
int32_t Mul(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

uint32_t PixelIndex(int32_t x, int32_t y) {
  return static_cast<uint32_t>(y) * State.colorImage.width + static_cast<uint32_t>(x);
}

// Fill mode writes the fill colour as memory holds it: a 16-bit image takes the upper half for
// pixels at even halfword addresses, an 8-bit one the byte its address selects. Pixels x0..x1
// of row y, the image read once for the row.
void FillRow(int32_t y, int32_t x0, int32_t x1) {
  const TRdramView ram;
  const uint32_t base = State.colorImage.address, fill = State.fillColor;
  const uint32_t first = PixelIndex(x0, y), end = first + static_cast<uint32_t>(x1 - x0) + 1;
  switch (State.colorImage.size) {
    case kSize32:
      for (uint32_t pixel = first; pixel != end; ++pixel)
        ram.Write32(base + pixel * 4, fill);
      break;
    case kSize16:
      for (uint32_t pixel = first; pixel != end; ++pixel) {
        const uint32_t address = base + pixel * 2;
        ram.Write16(address, (address & 2) != 0 ? fill & 0xFFFF : fill >> 16);
      }
      break;
    case kSize8:
      for (uint32_t pixel = first; pixel != end; ++pixel) {
        const uint32_t address = base + pixel;
        ram.Write8(address, fill >> (24 - 8 * (address & 3)));
      }
      break;
    default:
      break;
  }
}

// Copy mode moves texels unfiltered: the raw texel as a 16-bit value for 16-bit images (an
// 8-bit texel twice), a 32-bit one for 32-bit images.
struct TRawTexel {
  uint32_t value;
  uint32_t bits;  // 8, 16 or 32
};

// The fetch of a kind, chosen once for a row.
template <TFetch kFetch>
[[gnu::always_inline]] inline TRawTexel RawTexelAs(const TSampler& sampler, int32_t s, int32_t t) {
  const int32_t cs = TileCoordinate(sampler.s, s) >> 5, ct = TileCoordinate(sampler.t, t) >> 5;
  const uint32_t ws = WrapTexel(sampler.s, ClampTexel(sampler.s, cs));
  const uint32_t wt = WrapTexel(sampler.t, ClampTexel(sampler.t, ct));
  const uint32_t row = sampler.tmem + wt * sampler.line;
  const uint32_t swap = (wt & 1) << 2;
  if constexpr (kFetch == TFetch::Rgba16 || kFetch == TFetch::Ia16 || kFetch == TFetch::Yuv16) {
    return {State.tmem[(((row + ws * 2) ^ swap) & 0xFFF) >> 1], 16};
  } else if constexpr (kFetch == TFetch::Rgba32) {
    const uint32_t at = ((row + ws * 2) ^ swap) & 0x7FF;
    return {static_cast<uint32_t>(State.tmem[at >> 1]) << 16 | State.tmem[(at | 0x800) >> 1], 32};
  } else if constexpr (kFetch == TFetch::Tlut8) {
    return {State.tmem[(0x800 + TmemByte(((row + ws) ^ swap) & 0x7FF) * 8) >> 1], 16};
  } else if constexpr (kFetch == TFetch::Tlut4) {
    const uint32_t byte = TmemByte(((row + (ws >> 1)) ^ swap) & 0x7FF);
    const uint32_t index = sampler.palette | ((ws & 1) != 0 ? byte & 0xF : byte >> 4);
    return {State.tmem[(0x800 + index * 8) >> 1], 16};
  } else if constexpr (kFetch == TFetch::I4 || kFetch == TFetch::Ia4) {
    const uint32_t byte = TmemByte((row + (ws >> 1)) ^ swap);
    return {((ws & 1) != 0 ? byte & 0xF : byte >> 4) * 0x11, 8};
  } else {
    return {TmemByte((row + ws) ^ swap), 8};
  }
}

// Calls f with the fetch kind of the sampler as a compile-time constant.
template <typename TFunction>
[[gnu::always_inline]] inline auto WithFetch(TFetch fetch, TFunction&& f) {
  switch (fetch) {
    case TFetch::Rgba16:
    case TFetch::Ia16:
    case TFetch::Yuv16:
      return f(std::integral_constant<TFetch, TFetch::Rgba16>{});
    case TFetch::Rgba32:
      return f(std::integral_constant<TFetch, TFetch::Rgba32>{});
    case TFetch::Tlut8:
      return f(std::integral_constant<TFetch, TFetch::Tlut8>{});
    case TFetch::Tlut4:
      return f(std::integral_constant<TFetch, TFetch::Tlut4>{});
    case TFetch::I4:
    case TFetch::Ia4:
      return f(std::integral_constant<TFetch, TFetch::I4>{});
    default:
      return f(std::integral_constant<TFetch, TFetch::I8>{});
  }
}

TRawTexel RawTexel(const TSampler& sampler, int32_t s, int32_t t) {
  return WithFetch(sampler.fetch,
                   [&](auto kind) { return RawTexelAs<decltype(kind)::value>(sampler, s, t); });
}

uint32_t Expand16To32(uint32_t texel) {
  const TColor c = Decode5551(texel);
  return static_cast<uint32_t>(c.r) << 24 | static_cast<uint32_t>(c.g) << 16 |
         static_cast<uint32_t>(c.b) << 8 | static_cast<uint32_t>(c.a);
}

uint32_t Reduce32To16(uint32_t texel) {
  return (texel >> 27) << 11 | (texel >> 19 & 31) << 6 | (texel >> 11 & 31) << 1 |
         ((texel & 0xFF) != 0 ? 1 : 0);
}

// A raw texel into a pixel of the colour image as copy mode writes it; alpha compare drops
// texels whose alpha is 0.
[[gnu::always_inline]] inline void CopyTexel(const TRdramView& ram, const TImage& image,
                                             bool alphaTest, uint32_t pixel, TRawTexel texel) {
  switch (image.size) {
    case kSize32: {
      const uint32_t value = texel.bits == 32   ? texel.value
                             : texel.bits == 16 ? Expand16To32(texel.value)
                                                : texel.value * 0x01010101u;
      if (alphaTest && (value & 0xFF) == 0) return;
      ram.Write32(image.address + pixel * 4, value);
      break;
    }
    case kSize16: {
      const uint32_t value = texel.bits == 32   ? Reduce32To16(texel.value)
                             : texel.bits == 16 ? texel.value
                                                : texel.value * 0x0101u;
      if (alphaTest && (value & 1) == 0) return;
      ram.Write16(image.address + pixel * 2, value);
      break;
    }
    case kSize8:
      ram.Write8(image.address + pixel,
                 texel.bits == 8 ? texel.value : texel.value >> (texel.bits - 8));
      break;
    default:
      break;
  }
}

void CopyPixel(const TSampler& sampler, int32_t x, int32_t y, int32_t s, int32_t t) {
  CopyTexel(TRdramView{}, State.colorImage, State.modes.alphaCompare, PixelIndex(x, y),
            RawTexel(sampler, s, t));
}

// Pixels x0..x1 of row y in copy mode, from coordinates (s, t) at x0 (s15.16) stepping by
// (ds, dt) a pixel; the image and the modes read once for the row.
void CopyRow(const TSampler& sampler, int32_t y, int32_t x0, int32_t x1, uint32_t s, uint32_t t,
             uint32_t ds, uint32_t dt) {
  const TRdramView ram;
  const TImage image = State.colorImage;
  const bool alphaTest = State.modes.alphaCompare;
  uint32_t pixel = PixelIndex(x0, y);
  WithFetch(sampler.fetch, [&](auto kind) {
    for (int32_t x = x0; x <= x1; ++x, ++pixel, s += ds, t += dt)
      CopyTexel(ram, image, alphaTest, pixel,
                RawTexelAs<decltype(kind)::value>(sampler, static_cast<int16_t>(s >> 16),
                                                  static_cast<int16_t>(t >> 16)));
  });
}

// Fill and copy modes draw rectangles whole pixels, both corners included, without sub-pixels.
TDrawWork DrawWholeRectangle(const TPrimitive& p) {
  const TScissor& sc = State.scissor;
  const int32_t x0 = std::max(p.rectXh >> 2, (sc.xh + 3) >> 2);
  const int32_t x1 = std::min(p.rectXl >> 2, sc.xl == 0 ? 0u : (sc.xl - 1) >> 2);
  const int32_t y0 = std::max(p.rectYh >> 2, (sc.yh + 3) >> 2);
  const int32_t y1 = std::min(p.rectYl >> 2, sc.yl == 0 ? 0u : (sc.yl - 1) >> 2);
  TDrawWork work;
  if (x1 < x0 || y1 < y0 || sc.xl == 0 || sc.yl == 0) return work;
  const bool copy = State.modes.cycleType == kCycleCopy;
  TSampler sampler;
  if (copy) sampler = PrepareSampler(State.tiles[p.tile & 7], State.modes);
  const int32_t originX = static_cast<int32_t>(p.rectXh >> 2);
  const int32_t originY = static_cast<int32_t>(p.rectYh >> 2);
  for (int32_t y = y0; y <= y1; ++y) {
    ++work.rows;
    if (!RowKept(y)) continue;
    work.pixels += static_cast<uint32_t>(x1 - x0 + 1);
    if (!copy) {
      FillRow(y, x0, x1);
      continue;
    }
    // Copy mode takes four texels a cycle: the per-pixel steps are a quarter of the given.
    const int32_t ds = p.dx[kAttrS] >> 2, dt = p.dx[kAttrT] >> 2;
    const uint32_t s = Add(Add(static_cast<uint32_t>(p.attr[kAttrS]), Mul(ds, x0 - originX)),
                           Mul(p.de[kAttrS], y - originY));
    const uint32_t t = Add(Add(static_cast<uint32_t>(p.attr[kAttrT]), Mul(dt, x0 - originX)),
                           Mul(p.de[kAttrT], y - originY));
    CopyRow(sampler, y, x0, x1, s, t, static_cast<uint32_t>(ds), static_cast<uint32_t>(dt));
  }
  return work;
}

TDrawWork Rasterize(const TPrimitive& primitive);

uint32_t FillSpan(const TSpan& span) {
  uint32_t touched = 0;
  for (int32_t x = span.xStart; x <= span.xEnd; ++x) {
    if ((x < span.fullStart || x > span.fullEnd) && CoverageAt(span, x) == 0) continue;
    FillRow(span.y, x, x);
    ++touched;
  }
  return touched;
}

}  // namespace

TDrawWork DrawPrimitive(const TPrimitive& primitive) {
  ++State.primitiveCount;
  if (PrimitiveDrawer != nullptr) return PrimitiveDrawer(primitive);
  const TDrawWork work = Rasterize(primitive);
  PixelsTouched += work.pixels;
  return work;
}

namespace {

TDrawWork Rasterize(const TPrimitive& primitive) {
  const uint32_t cycle = State.modes.cycleType;
  if (cycle == kCycleFill || cycle == kCycleCopy) {
    if (primitive.kind != TPrimitiveKind::Triangle) return DrawWholeRectangle(primitive);
    if (cycle == kCycleFill) return WalkEdges(primitive, FillSpan);
    // Copy mode has no use for triangles; they copy texels as rectangles do.
    const TSampler sampler = PrepareSampler(State.tiles[primitive.tile & 7], State.modes);
    return WalkEdges(primitive, [&](const TSpan& span) {
      uint32_t touched = 0;
      for (int32_t x = span.xStart; x <= span.xEnd; ++x) {
        if ((x < span.fullStart || x > span.fullEnd) && CoverageAt(span, x) == 0) continue;
        const int32_t offset = x - span.xStart;
        // The coordinates wrap as the hardware's registers do.
        const auto s = static_cast<int32_t>(
            Add(static_cast<uint32_t>(span.attr[kAttrS]), Mul(primitive.dx[kAttrS], offset)));
        const auto t = static_cast<int32_t>(
            Add(static_cast<uint32_t>(span.attr[kAttrT]), Mul(primitive.dx[kAttrT], offset)));
        CopyPixel(sampler, x, span.y, static_cast<int16_t>(s >> 16), static_cast<int16_t>(t >> 16));
        ++touched;
      }
      return touched;
    });
  }
  PreparePipeline(pipeline, primitive);
  const TDrawWork work = pipeline.draw(pipeline, primitive);
  pipeline.flush(pipeline);
  return work;
}

}  // namespace

}  // namespace vantor::rdp
