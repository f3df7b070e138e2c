// The sampler of eight pixels at a time, included by TexelLanes.cpp twice, each time inside a
// namespace of its own: once for SSE2, once compiled for AVX2.

namespace {

// One axis's addressing as lane constants.
struct TAxisLanes {
  __m128i shiftLeft, shiftRight, maskBits;  // shift counts
  __m128i origin, max, beforeMax, mask;     // mask: all ones without wrapping
  bool clamp, mirror;
};

inline TAxisLanes AxisLanes(const TAxis& axis) {
  return {_mm_cvtsi32_si128(static_cast<int>(axis.shiftLeft)),
          _mm_cvtsi32_si128(static_cast<int>(axis.shiftRight)),
          _mm_cvtsi32_si128(static_cast<int>(axis.maskBits)),
          _mm_set1_epi32(axis.origin),
          _mm_set1_epi32(axis.max),
          _mm_set1_epi32(axis.max - 1),
          _mm_set1_epi32(axis.mask != 0 ? static_cast<int>(axis.mask) : -1),
          axis.clamp,
          axis.mirror};
}

inline __m128i Select(__m128i mask, __m128i yes, __m128i no) {
  return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

// The texel index of the coordinate, wrapped, and of the next texel, and the fraction.
[[gnu::always_inline]] inline void AxisTexels(const TAxisLanes& axis, __m128i c, __m128i& first,
                                              __m128i& next, __m128i& fraction) {
  c = _mm_sub_epi32(_mm_sra_epi32(_mm_sll_epi32(c, axis.shiftLeft), axis.shiftRight), axis.origin);
  __m128i texel = _mm_srai_epi32(c, 5);
  fraction = _mm_and_si128(c, _mm_set1_epi32(31));
  if (axis.clamp) {
    const __m128i below = _mm_cmplt_epi32(texel, _mm_setzero_si128());
    const __m128i above = _mm_cmpgt_epi32(texel, axis.beforeMax);
    texel = _mm_andnot_si128(below, Select(above, axis.max, texel));
    fraction = _mm_andnot_si128(_mm_or_si128(below, above), fraction);
  }
  auto wrap = [&](__m128i index) {
    if (axis.mirror) {
      const __m128i odd = _mm_slli_epi32(_mm_srl_epi32(index, axis.maskBits), 31);
      index = _mm_xor_si128(index, _mm_srai_epi32(odd, 31));
    }
    return _mm_and_si128(index, axis.mask);
  };
  next = wrap(_mm_add_epi32(texel, _mm_set1_epi32(1)));
  first = wrap(texel);
}

// The TMEM halfwords at eight indices below 0x800, fetched one by one into the lanes.
template <int... kLanes>
[[gnu::always_inline]] inline __m128i FetchLanes(__m128i index,
                                                 std::integer_sequence<int, kLanes...>) {
  __m128i texels = _mm_setzero_si128();
  ((texels = _mm_insert_epi16(texels, State.tmem[_mm_extract_epi16(index, kLanes)], kLanes)), ...);
  return texels;
}

[[gnu::always_inline]] inline __m128i Halves(__m128i index) {
  return FetchLanes(index, std::make_integer_sequence<int, 8>());
}

// Five bits to eight, repeating the top three below: the field times 33 over 4, from the
// field's bits kept in place at `low` by one high multiplication.
template <int kLow>
inline __m128i Widen5(__m128i texels) {
  const __m128i field = _mm_and_si128(texels, _mm_set1_epi16(static_cast<int16_t>(31 << kLow)));
  return _mm_mulhi_epu16(field, _mm_set1_epi16(static_cast<int16_t>(33 << (14 - kLow))));
}

// A texel's four channels, eight pixels in each.
struct TChannels {
  __m128i r, g, b, a;
};

inline TChannels Channels5551(__m128i texels) {
  return {Widen5<11>(texels), Widen5<6>(texels), Widen5<11>(_mm_slli_epi16(texels, 10)),
          _mm_mullo_epi16(_mm_and_si128(texels, _mm_set1_epi16(1)), _mm_set1_epi16(255))};
}
inline TChannels ChannelsIa88(__m128i texels) {
  const __m128i i = _mm_srli_epi16(texels, 8);
  return {i, i, i, _mm_and_si128(texels, _mm_set1_epi16(0xFF))};
}
inline TChannels Grey(__m128i i, __m128i a) {
  return {i, i, i, a};
}

// The bytes at TMEM byte addresses, and the nibbles of bytes, the high one at even texels.
inline __m128i Bytes(__m128i at) {
  const __m128i halves = Halves(_mm_srli_epi16(at, 1));
  const __m128i one = _mm_set1_epi16(1);
  const __m128i odd = _mm_cmpeq_epi16(_mm_and_si128(at, one), one);
  return Select(odd, _mm_and_si128(halves, _mm_set1_epi16(0xFF)), _mm_srli_epi16(halves, 8));
}
inline __m128i Nibbles(__m128i bytes, __m128i s) {
  const __m128i one = _mm_set1_epi16(1);
  const __m128i odd = _mm_cmpeq_epi16(_mm_and_si128(s, one), one);
  return Select(odd, _mm_and_si128(bytes, _mm_set1_epi16(0xF)), _mm_srli_epi16(bytes, 4));
}

// A tile's addressing as lane constants, in 16-bit lanes but the axes'.
struct TTileLanes {
  TAxisLanes s, t;
  __m128i tmem, line, palette;
  bool tlutIa;
};

inline TChannels Palette(const TTileLanes& tile, __m128i index) {
  const __m128i at = _mm_slli_epi16(_mm_and_si128(index, _mm_set1_epi16(0xFF)), 2);
  const __m128i entries = Halves(_mm_add_epi16(at, _mm_set1_epi16(0x400)));
  return tile.tlutIa ? ChannelsIa88(entries) : Channels5551(entries);
}

// The TMEM byte address of texel s in a row, before it is kept to TMEM: two bytes a texel (four
// with the second half in the upper TMEM), one, or half of one.
template <TFetch kFetch>
inline __m128i TexelAddress(__m128i s, __m128i row, __m128i swap) {
  __m128i offset;
  if constexpr (kFetch == TFetch::Rgba16 || kFetch == TFetch::Ia16 || kFetch == TFetch::Rgba32)
    offset = _mm_slli_epi16(s, 1);
  else if constexpr (kFetch == TFetch::I8 || kFetch == TFetch::Ia8 || kFetch == TFetch::Tlut8)
    offset = s;
  else
    offset = _mm_srli_epi16(s, 1);
  return _mm_xor_si128(_mm_add_epi16(row, offset), swap);
}

// Eight texels from their addresses (and their s, for the nibble).
template <TFetch kFetch>
[[gnu::always_inline]] inline TChannels FetchEight(const TTileLanes& tile, __m128i at, __m128i s) {
  const __m128i whole = _mm_set1_epi16(0xFFF), lower = _mm_set1_epi16(0x7FF);
  const __m128i seventeen = _mm_set1_epi16(17);
  if constexpr (kFetch == TFetch::Rgba16) {
    return Channels5551(Halves(_mm_srli_epi16(_mm_and_si128(at, whole), 1)));
  } else if constexpr (kFetch == TFetch::Ia16) {
    return ChannelsIa88(Halves(_mm_srli_epi16(_mm_and_si128(at, whole), 1)));
  } else if constexpr (kFetch == TFetch::Rgba32) {
    const __m128i index = _mm_srli_epi16(_mm_and_si128(at, lower), 1);
    const __m128i rg = Halves(index), ba = Halves(_mm_add_epi16(index, _mm_set1_epi16(0x400)));
    const __m128i low = _mm_set1_epi16(0xFF);
    return {_mm_srli_epi16(rg, 8), _mm_and_si128(rg, low), _mm_srli_epi16(ba, 8),
            _mm_and_si128(ba, low)};
  } else if constexpr (kFetch == TFetch::I8) {
    const __m128i i = Bytes(_mm_and_si128(at, whole));
    return Grey(i, i);
  } else if constexpr (kFetch == TFetch::Ia8) {
    const __m128i byte = Bytes(_mm_and_si128(at, whole));
    return Grey(_mm_mullo_epi16(_mm_srli_epi16(byte, 4), seventeen),
                _mm_mullo_epi16(_mm_and_si128(byte, _mm_set1_epi16(0xF)), seventeen));
  } else if constexpr (kFetch == TFetch::Tlut8) {
    return Palette(tile, Bytes(_mm_and_si128(at, lower)));
  } else if constexpr (kFetch == TFetch::I4) {
    const __m128i i = _mm_mullo_epi16(Nibbles(Bytes(_mm_and_si128(at, whole)), s), seventeen);
    return Grey(i, i);
  } else if constexpr (kFetch == TFetch::Ia4) {
    const __m128i nibble = Nibbles(Bytes(_mm_and_si128(at, whole)), s);
    const __m128i i = _mm_srli_epi16(nibble, 1);
    const __m128i grey = _mm_or_si128(_mm_or_si128(_mm_slli_epi16(i, 5), _mm_slli_epi16(i, 2)),
                                      _mm_srli_epi16(i, 1));
    return Grey(grey,
                _mm_mullo_epi16(_mm_and_si128(nibble, _mm_set1_epi16(1)), _mm_set1_epi16(255)));
  } else {
    static_assert(kFetch == TFetch::Tlut4);
    const __m128i nibble = Nibbles(Bytes(_mm_and_si128(at, lower)), s);
    return Palette(tile, _mm_or_si128(tile.palette, nibble));
  }
}

// Eight pixels' channels packed into texels.
[[gnu::always_inline]] inline void StoreEight(const TChannels& c, TTexel* out) {
  const __m128i rgLow = _mm_unpacklo_epi16(c.r, c.g), baLow = _mm_unpacklo_epi16(c.b, c.a);
  const __m128i rgHigh = _mm_unpackhi_epi16(c.r, c.g), baHigh = _mm_unpackhi_epi16(c.b, c.a);
  auto* to = reinterpret_cast<__m128i*>(out);
  _mm_storeu_si128(to, _mm_unpacklo_epi32(rgLow, baLow));
  _mm_storeu_si128(to + 1, _mm_unpackhi_epi32(rgLow, baLow));
  _mm_storeu_si128(to + 2, _mm_unpacklo_epi32(rgHigh, baHigh));
  _mm_storeu_si128(to + 3, _mm_unpackhi_epi32(rgHigh, baHigh));
}

// AxisTexels for eight pixels, the results in 16-bit lanes.
[[gnu::always_inline]] inline void AxisEight(const TAxisLanes& axis, const int32_t* c,
                                             __m128i& first, __m128i& next, __m128i& fraction) {
  __m128i firstLow, nextLow, fractionLow, firstHigh, nextHigh, fractionHigh;
  AxisTexels(axis, _mm_loadu_si128(reinterpret_cast<const __m128i*>(c)), firstLow, nextLow,
             fractionLow);
  AxisTexels(axis, _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + 4)), firstHigh, nextHigh,
             fractionHigh);
  first = _mm_packs_epi32(firstLow, firstHigh);
  next = _mm_packs_epi32(nextLow, nextHigh);
  fraction = _mm_packs_epi32(fractionLow, fractionHigh);
}

// Eight pixels' texels. The texel indices and fractions come from 32-bit lanes, as clamping
// compares whole coordinates; the rest is in 16-bit lanes, which every index and weight fits,
// and an address's low twelve bits are all that count. Each channel is weighed and rounded on
// its own: the weights sum to 32, so no lane passes 16 bits. Returns which pixels sit in the
// middle of four texels, a bit each.
template <TFetch kFetch>
[[gnu::always_inline]] inline int FilterEight(const TTileLanes& tile, const int32_t* s,
                                              const int32_t* t, TTexel* out) {
  __m128i s0, s1, fs, t0, t1, ft;
  AxisEight(tile.s, s, s0, s1, fs);
  AxisEight(tile.t, t, t0, t1, ft);
  // A row's address and its odd-row swap, then the texels' addresses.
  const __m128i one = _mm_set1_epi16(1), thirtyTwo = _mm_set1_epi16(32);
  const __m128i row0 = _mm_add_epi16(tile.tmem, _mm_mullo_epi16(t0, tile.line));
  const __m128i row1 = _mm_add_epi16(tile.tmem, _mm_mullo_epi16(t1, tile.line));
  const __m128i swap0 = _mm_slli_epi16(_mm_and_si128(t0, one), 2);
  const __m128i swap1 = _mm_slli_epi16(_mm_and_si128(t1, one), 2);
  // The upper-left triangle from the first texel, the lower-right one from the last.
  const __m128i sum = _mm_add_epi16(fs, ft);
  const __m128i upperLeft = _mm_cmplt_epi16(sum, thirtyTwo);
  const __m128i past = _mm_sub_epi16(sum, thirtyTwo);
  const __m128i sixteen = _mm_set1_epi16(16);
  const __m128i middle = _mm_and_si128(_mm_cmpeq_epi16(fs, sixteen), _mm_cmpeq_epi16(ft, sixteen));
  const TChannels base = FetchEight<kFetch>(tile,
                                            Select(upperLeft, TexelAddress<kFetch>(s0, row0, swap0),
                                                   TexelAddress<kFetch>(s1, row1, swap1)),
                                            Select(upperLeft, s0, s1));
  const TChannels toS = FetchEight<kFetch>(tile, TexelAddress<kFetch>(s1, row0, swap0), s1);
  const TChannels toT = FetchEight<kFetch>(tile, TexelAddress<kFetch>(s0, row1, swap1), s0);
  const __m128i baseWeight = _mm_sub_epi16(_mm_xor_si128(past, upperLeft), upperLeft);
  const __m128i toSWeight = Select(upperLeft, fs, _mm_sub_epi16(thirtyTwo, ft));
  const __m128i toTWeight = Select(upperLeft, ft, _mm_sub_epi16(thirtyTwo, fs));
  auto weigh = [&](__m128i TChannels::*channel) {
    const __m128i sum =
        _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(base.*channel, baseWeight),
                                    _mm_mullo_epi16(toS.*channel, toSWeight)),
                      _mm_add_epi16(_mm_mullo_epi16(toT.*channel, toTWeight), _mm_set1_epi16(16)));
    return _mm_srli_epi16(sum, 5);
  };
  StoreEight(
      {weigh(&TChannels::r), weigh(&TChannels::g), weigh(&TChannels::b), weigh(&TChannels::a)},
      out);
  return _mm_movemask_epi8(_mm_packs_epi16(middle, middle)) & 0xFF;
}

// Eight pixels' nearest texels.
template <TFetch kFetch>
[[gnu::always_inline]] inline void PointEight(const TTileLanes& tile, const int32_t* s,
                                              const int32_t* t, TTexel* out) {
  __m128i s0, s1, fs, t0, t1, ft;
  AxisEight(tile.s, s, s0, s1, fs);
  AxisEight(tile.t, t, t0, t1, ft);
  const __m128i row = _mm_add_epi16(tile.tmem, _mm_mullo_epi16(t0, tile.line));
  const __m128i swap = _mm_slli_epi16(_mm_and_si128(t0, _mm_set1_epi16(1)), 2);
  StoreEight(FetchEight<kFetch>(tile, TexelAddress<kFetch>(s0, row, swap), s0), out);
}

// The texels of a tile at the s10.5 coordinates, filtered or the nearest, for every kind of
// fetch but YUV.
template <TFetch kFetch, bool kBilinear>
void SampleLanesAs(const TSampler& sampler, bool midTexel, uint32_t count, const int32_t* s,
                   const int32_t* t, TTexel* out) {
  static_assert(kFetch != TFetch::Yuv16);
  const TTileLanes tile{AxisLanes(sampler.s),
                        AxisLanes(sampler.t),
                        _mm_set1_epi16(static_cast<int16_t>(sampler.tmem)),
                        _mm_set1_epi16(static_cast<int16_t>(sampler.line)),
                        _mm_set1_epi16(static_cast<int16_t>(sampler.palette)),
                        sampler.tlutIa};
  // The last few pixels go through eight lanes of their own.
  int32_t lastS[8] = {}, lastT[8] = {};
  TTexel last[8];
  for (uint32_t n = 0; n < count; n += 8) {
    const uint32_t pixels = std::min(count - n, 8u);
    const int32_t *fromS = s + n, *fromT = t + n;
    TTexel* to = out + n;
    if (pixels < 8) {
      std::copy_n(fromS, pixels, lastS);
      std::copy_n(fromT, pixels, lastT);
      fromS = lastS;
      fromT = lastT;
      to = last;
    }
    int middle = 0;
    if constexpr (kBilinear)
      middle = FilterEight<kFetch>(tile, fromS, fromT, to);
    else
      PointEight<kFetch>(tile, fromS, fromT, to);
    if (pixels < 8) std::copy_n(last, pixels, out + n);
    // The middle of four texels takes their average instead, as the plain sampler does.
    if (midTexel) {
      for (middle &= (1 << pixels) - 1; middle != 0; middle &= middle - 1) {
        const uint32_t k =
            n + static_cast<uint32_t>(std::countr_zero(static_cast<unsigned>(middle)));
        out[k] = SampleTextureAs<kFetch>(sampler, s[k], t[k], true, true);
      }
    }
  }
}

template <TFetch kFetch>
void SampleLanesAs(const TSampler& sampler, bool bilinear, bool midTexel, uint32_t count,
                   const int32_t* s, const int32_t* t, TTexel* out) {
  if (bilinear)
    SampleLanesAs<kFetch, true>(sampler, midTexel, count, s, t, out);
  else
    SampleLanesAs<kFetch, false>(sampler, midTexel, count, s, t, out);
}

// The texels of `count` pixels, for every kind of texel (YUV a pixel at a time).
void SampleEvery(const TSampler& sampler, bool bilinear, bool midTexel, uint32_t count,
                 const int32_t* s, const int32_t* t, TTexel* out) {
  switch (sampler.fetch) {
    case TFetch::Rgba16:
      return SampleLanesAs<TFetch::Rgba16>(sampler, bilinear, midTexel, count, s, t, out);
    case TFetch::Rgba32:
      return SampleLanesAs<TFetch::Rgba32>(sampler, bilinear, midTexel, count, s, t, out);
    case TFetch::Ia4:
      return SampleLanesAs<TFetch::Ia4>(sampler, bilinear, midTexel, count, s, t, out);
    case TFetch::Ia8:
      return SampleLanesAs<TFetch::Ia8>(sampler, bilinear, midTexel, count, s, t, out);
    case TFetch::Ia16:
      return SampleLanesAs<TFetch::Ia16>(sampler, bilinear, midTexel, count, s, t, out);
    case TFetch::I4:
      return SampleLanesAs<TFetch::I4>(sampler, bilinear, midTexel, count, s, t, out);
    case TFetch::I8:
      return SampleLanesAs<TFetch::I8>(sampler, bilinear, midTexel, count, s, t, out);
    case TFetch::Tlut4:
      return SampleLanesAs<TFetch::Tlut4>(sampler, bilinear, midTexel, count, s, t, out);
    case TFetch::Tlut8:
      return SampleLanesAs<TFetch::Tlut8>(sampler, bilinear, midTexel, count, s, t, out);
    case TFetch::Yuv16:
    default:
      for (uint32_t n = 0; n < count; ++n)
        out[n] = SampleTextureAs<TFetch::Yuv16>(sampler, s[n], t[n], bilinear, midTexel);
      return;
  }
}

}  // namespace
