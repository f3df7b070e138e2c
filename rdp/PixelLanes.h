// Arithmetic on several colour channels at once: the combiner's multiply-add on two pixels in
// the SSE2 registers every x86-64 processor has (each pixel's four packed sixteen-bit channels,
// see TTexel, fill half a register), with the channel-by-channel form beside it as the
// reference for other processors and for the tests; depth's compression on four pixels; and
// the 16-bit image's dither on a packed colour. Internal to rdp/.
#pragma once

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vantor::rdp {

// (a - b) * c + d with the combiner's rounding: sums past 8 bits clamp, and the ninth bit
// tells an overflow (to 255) from a negative result (to 0).
inline int32_t CombineChannel(int32_t a, int32_t b, int32_t c, int32_t d) {
  const int32_t sum = (((a - b) * c) + d * 256 + 0x80) >> 8;
  const int32_t wrapped = sum & 0x1FF;
  if (wrapped < 0x100) return wrapped;
  return wrapped >= 0x180 ? 0 : 255;
}

// The 16-bit image's dither: each channel of 0-255 to five bits, rounded up where its low three
// bits exceed the dither value d (0-7; 8: never) unless it is already at the top. As the offset
// 7 - d (0 for none) added before the shift, the rounding carries exactly when the low bits
// exceed d.
constexpr uint32_t DitherOffset(uint32_t d) {
  return d >= 8 ? 0 : 7 - d;
}
// A colour's red, green and blue (the low bytes of a packed colour's lanes, see TTexel) as the
// image's bits 15-11, 10-6 and 5-1, dithered by `offsets`, DitherOffset in each of the three
// lanes. All three at once in the 64-bit word: a sum past 255 gives 32, which the bit above
// the five takes back to 31; one multiplication then moves the channels beside each other
// (its other products fall outside bits 33-47).
inline uint32_t Dithered555(uint64_t color, uint64_t offsets) {
  uint64_t five = (((color & 0x000000FF00FF00FF) + offsets) >> 3) & 0x0000003F003F003F;
  five -= (five >> 5) & 0x0000000100010001;
  return static_cast<uint32_t>(five * (uint64_t{1} << 43 | uint64_t{1} << 22 | 2) >> 32) & 0xFFFE;
}

#if defined(__SSE2__)
// CombineChannel on every lane. Only the sum's low nine bits matter, so sixteen-bit lanes
// suffice: the product's bits 8 to 23 come from its two halves, the rounding's carry out of the
// low byte through an unsigned average; then 0x80 shifts the overflow range (0x100-0x17F) below
// the negative one, so that a saturating subtraction and a minimum clamp both.
[[gnu::always_inline]] inline __m128i CombineLanes(__m128i a, __m128i b, __m128i c, __m128i d) {
  const __m128i x = _mm_sub_epi16(a, b);
  const __m128i low = _mm_mullo_epi16(x, c), high = _mm_mulhi_epi16(x, c);
  const __m128i rounded = _mm_add_epi16(_mm_srli_epi16(_mm_avg_epu16(low, _mm_set1_epi16(0x7F)), 7),
                                        _mm_slli_epi16(high, 8));
  const __m128i sum = _mm_add_epi16(_mm_add_epi16(rounded, d), _mm_set1_epi16(0x80));
  const __m128i wrapped = _mm_and_si128(sum, _mm_set1_epi16(0x1FF));
  return _mm_min_epi16(_mm_subs_epu16(wrapped, _mm_set1_epi16(0x80)), _mm_set1_epi16(255));
}

// CombineLanes(a, 0, c, 0) where a and c lie in 0-255 (texels, the shade): the product with its
// rounding fits sixteen unsigned bits and the sum never clamps.
[[gnu::always_inline]] inline __m128i ModulateLanes(__m128i a, __m128i c) {
  return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(a, c), _mm_set1_epi16(0x80)), 8);
}

// Dithered555 on two pixels: their bits as the 32-bit lanes 0 and 2.
[[gnu::always_inline]] inline __m128i DitherLanes(__m128i colors, __m128i offsets) {
  const __m128i channels = _mm_and_si128(colors, _mm_set1_epi16(0xFF));
  const __m128i five =
      _mm_min_epi16(_mm_srli_epi16(_mm_add_epi16(channels, offsets), 3), _mm_set1_epi16(31));
  // Red times 2^11 plus green times 2^6 beside blue times 2, then the two added.
  const __m128i halves = _mm_madd_epi16(five, _mm_set1_epi64x(0x0000000200400800));
  return _mm_add_epi32(halves, _mm_srli_epi64(halves, 32));
}

// Dithered555 on four pixels, their colours and offsets two a vector: their bits as the four
// 32-bit lanes. The sums saturate to bytes, each pixel's channels one 32-bit lane (a sum past
// 255 gives 31 either way); then red and blue, shifted to five bits and one, become red's
// place and blue's with one multiply-add, and green is shifted to its place.
[[gnu::always_inline]] inline __m128i DitherFour(__m128i colorsLow, __m128i offsetsLow,
                                                 __m128i colorsHigh, __m128i offsetsHigh) {
  const __m128i bytes = _mm_set1_epi16(0xFF);
  const __m128i sums =
      _mm_packus_epi16(_mm_add_epi16(_mm_and_si128(colorsLow, bytes), offsetsLow),
                       _mm_add_epi16(_mm_and_si128(colorsHigh, bytes), offsetsHigh));
  const __m128i redBlue = _mm_srli_epi16(_mm_and_si128(sums, _mm_set1_epi32(0x00F800F8)), 2);
  const __m128i green = _mm_srli_epi32(_mm_and_si128(sums, _mm_set1_epi32(0xF800)), 5);
  return _mm_or_si128(_mm_madd_epi16(redBlue, _mm_set1_epi32(0x00010400)), green);
}

// Four 18-bit depths, one a 32-bit lane, in memory's sixteen bits (see CompressDepth), `low`
// (the slope's two bits) below. The exponent counts the depth's leading ones, up to 7: the
// leading zeros of its complement, whose float's exponent field gives them (a complement of 0
// gives more than 7). The mantissa's shift right by 6 - exponent (0 from 7 on) is a
// multiplication by a power of two (exact in floats below 2^24) before a shift by 6.
[[gnu::always_inline]] inline __m128i CompressLanes(__m128i z18, __m128i low) {
  const __m128i complement = _mm_sub_epi32(_mm_set1_epi32(0x3FFFF), z18);
  const __m128i field = _mm_srli_epi32(_mm_castps_si128(_mm_cvtepi32_ps(complement)), 23);
  // 17 - (field - 127) leading ones, at most 7 (the lanes' upper halves are 0).
  const __m128i exponent =
      _mm_min_epi16(_mm_sub_epi32(_mm_set1_epi32(144), field), _mm_set1_epi32(7));
  const __m128i scale = _mm_slli_epi32(
      _mm_add_epi32(_mm_min_epi16(exponent, _mm_set1_epi32(6)), _mm_set1_epi32(127)), 23);
  const __m128i shifted =
      _mm_cvttps_epi32(_mm_mul_ps(_mm_cvtepi32_ps(z18), _mm_castsi128_ps(scale)));
  const __m128i mantissa = _mm_and_si128(_mm_srli_epi32(shifted, 6), _mm_set1_epi32(0x7FF));
  return _mm_or_si128(_mm_or_si128(_mm_slli_epi32(exponent, 13), _mm_slli_epi32(mantissa, 2)), low);
}

#endif

}  // namespace vantor::rdp
