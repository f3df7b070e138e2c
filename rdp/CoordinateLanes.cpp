#include "rdp/CoordinateLanes.h"

#include <cstdlib>
#include <cstring>

#include "rdp/Coordinates.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace vantor::rdp {

#if defined(__x86_64__)

// VANTOR_NO_AVX2 set takes the path of processors without AVX2, so that its tests run here too.
const bool kPerspectiveLanes = [] {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") != 0 && std::getenv("VANTOR_NO_AVX2") == nullptr;
}();

namespace {

// The reciprocal of eight W as PerspectiveReciprocal gives it: the factor and the product's
// shift.
[[gnu::target("avx2"), gnu::always_inline]] inline void Reciprocals(__m256i w, __m256i& factor,
                                                                    __m256i& productShift) {
  const __m256i positive = _mm256_max_epi32(w, _mm256_set1_epi32(1));
  // The leading zeros from the exponent of the value as a float, which may round up to the next
  // power of two: then the leading one is a place short of the top and one more shift is due.
  const __m256i exponent = _mm256_srli_epi32(_mm256_castps_si256(_mm256_cvtepi32_ps(positive)), 23);
  __m256i shift = _mm256_sub_epi32(_mm256_set1_epi32(127 + 31), exponent);
  __m256i normal = _mm256_sllv_epi32(positive, shift);
  const __m256i fix = _mm256_add_epi32(_mm256_srai_epi32(normal, 31), _mm256_set1_epi32(1));
  shift = _mm256_add_epi32(shift, fix);
  normal = _mm256_sllv_epi32(normal, fix);
  const __m256i index = _mm256_and_si256(_mm256_srli_epi32(normal, 22), _mm256_set1_epi32(0x1FF));
  const __m256i fraction =
      _mm256_and_si256(_mm256_srli_epi32(normal, 6), _mm256_set1_epi32(0xFFFF));
  const auto* table = reinterpret_cast<const int*>(kReciprocals.data());
  const __m256i value = _mm256_i32gather_epi32(table, index, 8);
  const __m256i step = _mm256_i32gather_epi32(table + 1, index, 8);
  // The step times the fraction over 2^16, in 64-bit products of the even and the odd lanes.
  const __m256i even = _mm256_srli_epi64(_mm256_mul_epu32(step, fraction), 16);
  const __m256i odd = _mm256_slli_epi64(
      _mm256_mul_epu32(_mm256_srli_epi64(step, 32), _mm256_srli_epi64(fraction, 32)), 16);
  const __m256i entry = _mm256_sub_epi32(value, _mm256_blend_epi32(even, odd, 0xAA));
  const __m256i kept = _mm256_min_epu32(shift, _mm256_set1_epi32(16));
  factor = _mm256_srlv_epi32(entry, _mm256_sub_epi32(_mm256_set1_epi32(16), kept));
  productShift = _mm256_add_epi32(_mm256_sub_epi32(_mm256_set1_epi32(31), shift), kept);
}

// value times factor in the even 32-bit lanes, as 64-bit products shifted right arithmetically
// by `shift` and clamped to sixteen bits; `bias` is 2^63 shifted as far. The factor is below
// 2^32 but may reach 2^31: the signed product then lacks the value times 2^32.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i Products(__m256i value, __m256i factor,
                                                                    __m256i shift, __m256i bias) {
  const __m256i wide =
      _mm256_slli_epi64(_mm256_and_si256(_mm256_srai_epi32(factor, 31), value), 32);
  const __m256i product = _mm256_add_epi64(_mm256_mul_epi32(value, factor), wide);
  // An arithmetic shift from a logical one: the product biased by 2^63, shifted, unbiased.
  const __m256i sign = _mm256_set1_epi64x(INT64_MIN);
  __m256i q = _mm256_sub_epi64(_mm256_srlv_epi64(_mm256_xor_si256(product, sign), shift), bias);
  const __m256i high = _mm256_set1_epi64x(32767), low = _mm256_set1_epi64x(-32768);
  q = _mm256_blendv_epi8(q, high, _mm256_cmpgt_epi64(q, high));
  return _mm256_blendv_epi8(q, low, _mm256_cmpgt_epi64(low, q));
}

// S, T and W of eight attribute rows, a 4x4 transposition of each half: the rows' S, T, W and
// Z are four neighbours.
struct TRows {
  __m256i s, t, w;
};
// Row k's S, T, W and Z in the low half, row k + 4's in the high half.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i Pair(const int32_t (*attr)[kAttrCount],
                                                                int k) {
  return _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(attr[k + 4] + kAttrS),
                             reinterpret_cast<const __m128i*>(attr[k] + kAttrS));
}
[[gnu::target("avx2"), gnu::always_inline]] inline TRows Transpose(
    const int32_t (*attr)[kAttrCount]) {
  static_assert(kAttrS == 4 && kAttrT == 5 && kAttrW == 6, "S, T and W are neighbours");
  const __m256i r04 = Pair(attr, 0), r15 = Pair(attr, 1), r26 = Pair(attr, 2), r37 = Pair(attr, 3);
  const __m256i st01 = _mm256_unpacklo_epi32(r04, r15), st23 = _mm256_unpacklo_epi32(r26, r37);
  const __m256i wz01 = _mm256_unpackhi_epi32(r04, r15), wz23 = _mm256_unpackhi_epi32(r26, r37);
  return {_mm256_unpacklo_epi64(st01, st23), _mm256_unpackhi_epi64(st01, st23),
          _mm256_unpacklo_epi64(wz01, wz23)};
}

// Eight coordinates: the even lanes, then the odd lanes moved down, each with its shift as a
// 64-bit count.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i Coordinates(
    __m256i v, __m256i factor, __m256i factorOdd, __m256i shiftEven, __m256i shiftOdd,
    __m256i biasEven, __m256i biasOdd) {
  const __m256i even = Products(v, factor, shiftEven, biasEven);
  const __m256i odd = Products(_mm256_srli_epi64(v, 32), factorOdd, shiftOdd, biasOdd);
  return _mm256_blend_epi32(even, _mm256_slli_epi64(odd, 32), 0xAA);
}

// Eight pixels' coordinates from their attribute rows.
[[gnu::target("avx2"), gnu::always_inline]] inline void Block(const int32_t (*attr)[kAttrCount],
                                                              __m256i stepS, __m256i stepT,
                                                              __m256i stepW, __m256i& s,
                                                              __m256i& t) {
  const TRows rows = Transpose(attr);
  __m256i factor, productShift;
  Reciprocals(_mm256_add_epi32(rows.w, stepW), factor, productShift);
  const __m256i sign = _mm256_set1_epi64x(INT64_MIN);
  const __m256i shiftEven = _mm256_and_si256(productShift, _mm256_set1_epi64x(0xFFFFFFFF));
  const __m256i shiftOdd = _mm256_srli_epi64(productShift, 32);
  const __m256i biasEven = _mm256_srlv_epi64(sign, shiftEven);
  const __m256i biasOdd = _mm256_srlv_epi64(sign, shiftOdd);
  const __m256i factorOdd = _mm256_srli_epi64(factor, 32);
  s = Coordinates(_mm256_add_epi32(rows.s, stepS), factor, factorOdd, shiftEven, shiftOdd, biasEven,
                  biasOdd);
  t = Coordinates(_mm256_add_epi32(rows.t, stepT), factor, factorOdd, shiftEven, shiftOdd, biasEven,
                  biasOdd);
}

[[gnu::target("avx2")]] void PerspectiveLanesAvx2(uint32_t count, const int32_t (*attr)[kAttrCount],
                                                  const int32_t* step, int32_t* s, int32_t* t) {
  const __m256i stepS = _mm256_set1_epi32(step[kAttrS]), stepT = _mm256_set1_epi32(step[kAttrT]);
  const __m256i stepW = _mm256_set1_epi32(step[kAttrW]);
  uint32_t n = 0;
  for (; n + 8 <= count; n += 8) {
    __m256i ss, ts;
    Block(attr + n, stepS, stepT, stepW, ss, ts);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(s + n), ss);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(t + n), ts);
  }
  if (n == count) return;
  // The last pixels from a copy of their rows.
  int32_t rest[8][kAttrCount] = {};
  std::memcpy(rest, attr + n, (count - n) * sizeof(rest[0]));
  alignas(32) int32_t restS[8], restT[8];
  __m256i ss, ts;
  Block(rest, stepS, stepT, stepW, ss, ts);
  _mm256_store_si256(reinterpret_cast<__m256i*>(restS), ss);
  _mm256_store_si256(reinterpret_cast<__m256i*>(restT), ts);
  std::memcpy(s + n, restS, (count - n) * sizeof(int32_t));
  std::memcpy(t + n, restT, (count - n) * sizeof(int32_t));
}

}  // namespace

void PerspectiveLanes(uint32_t count, const int32_t (*attr)[kAttrCount], const int32_t* step,
                      int32_t* s, int32_t* t) {
  PerspectiveLanesAvx2(count, attr, step, s, t);
}

#else

const bool kPerspectiveLanes = false;

void PerspectiveLanes(uint32_t, const int32_t (*)[kAttrCount], const int32_t*, int32_t*, int32_t*) {
}

#endif

}  // namespace vantor::rdp
