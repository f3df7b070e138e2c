#include "rsp/VectorUnit.h"

#include "rsp/VectorDivide.h"

#if !defined(__SSE2__)
#error "The vector unit's lanes are SSE2 (the x86-64 baseline)"
#endif
#include <emmintrin.h>

#include <initializer_list>

namespace vantor::rsp {

namespace {

using V = __m128i;

// ---- Lanes ----
// The helpers up to the operations are forced inline: left to itself at -O2 the compiler kept
// the accumulator's adds out of line, a call per instruction that cost a quarter of the time.

[[gnu::always_inline]] inline V Load(const TVector& v) {
  return _mm_load_si128(reinterpret_cast<const V*>(v.e));
}
[[gnu::always_inline]] inline void Store(TVector& v, V x) {
  _mm_store_si128(reinterpret_cast<V*>(v.e), x);
}
[[gnu::always_inline]] inline V Ones() {
  return _mm_set1_epi32(-1);
}
[[gnu::always_inline]] inline V Not(V x) {
  return _mm_xor_si128(x, Ones());
}
// Lanes of a where mask is set, of b elsewhere.
[[gnu::always_inline]] inline V Blend(V mask, V a, V b) {
  return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}
// Unsigned a < b, as a lane mask.
[[gnu::always_inline]] inline V LessUnsigned(V a, V b) {
  const V bias = _mm_set1_epi16(static_cast<int16_t>(0x8000));
  return _mm_cmplt_epi16(_mm_xor_si128(a, bias), _mm_xor_si128(b, bias));
}

template <int kLow, int kHigh>
[[gnu::always_inline]] inline V Shuffle(V t) {
  return _mm_shufflehi_epi16(_mm_shufflelo_epi16(t, kLow), kHigh);
}
template <int kLane>
[[gnu::always_inline]] inline V Broadcast(V t) {
  if constexpr (kLane < 4) {
    const V x = _mm_shufflelo_epi16(t, kLane * 0x55);
    return _mm_unpacklo_epi64(x, x);
  } else {
    const V x = _mm_shufflehi_epi16(t, (kLane - 4) * 0x55);
    return _mm_unpackhi_epi64(x, x);
  }
}

// The element field: 0 and 1 take vt whole, 2-3 one element of each pair, 4-7 one of each
// four, 8-15 one element for every lane.
[[gnu::always_inline]] inline V SelectElements(V t, uint32_t e) {
  switch (e) {
    case 2:
      return Shuffle<0xA0, 0xA0>(t);
    case 3:
      return Shuffle<0xF5, 0xF5>(t);
    case 4:
      return Shuffle<0x00, 0x00>(t);
    case 5:
      return Shuffle<0x55, 0x55>(t);
    case 6:
      return Shuffle<0xAA, 0xAA>(t);
    case 7:
      return Shuffle<0xFF, 0xFF>(t);
    case 8:
      return Broadcast<0>(t);
    case 9:
      return Broadcast<1>(t);
    case 10:
      return Broadcast<2>(t);
    case 11:
      return Broadcast<3>(t);
    case 12:
      return Broadcast<4>(t);
    case 13:
      return Broadcast<5>(t);
    case 14:
      return Broadcast<6>(t);
    case 15:
      return Broadcast<7>(t);
    default:
      return t;
  }
}

// Bit i of bits as a full mask in lane i.
[[gnu::always_inline]] inline V ExpandFlags(uint32_t bits) {
  const V laneBits = _mm_setr_epi16(1, 2, 4, 8, 16, 32, 64, 128);
  return _mm_cmpeq_epi16(_mm_and_si128(_mm_set1_epi16(static_cast<int16_t>(bits)), laneBits),
                         laneBits);
}
// Lane masks low and high as bits 0-7 and 8-15.
[[gnu::always_inline]] inline uint16_t PackFlags(V low, V high) {
  return static_cast<uint16_t>(_mm_movemask_epi8(_mm_packs_epi16(low, high)));
}

// ---- The accumulator ----

struct TAcc {
  V high, mid, low;
};

[[gnu::always_inline]] inline TAcc LoadAcc(const TVectorUnit& u) {
  return {Load(u.accHigh), Load(u.accMid), Load(u.accLow)};
}
[[gnu::always_inline]] inline void StoreAcc(TVectorUnit& u, const TAcc& a) {
  Store(u.accHigh, a.high);
  Store(u.accMid, a.mid);
  Store(u.accLow, a.low);
}

// acc += the 48-bit value (high:mid:low) in each lane, carries passed up.
[[gnu::always_inline]] inline void Add(TAcc& a, V high, V mid, V low) {
  const V sumLow = _mm_add_epi16(a.low, low);
  const V carryLow = LessUnsigned(sumLow, low);
  const V sumMid = _mm_add_epi16(a.mid, mid);
  const V carryMid = LessUnsigned(sumMid, mid);
  const V midPlus = _mm_sub_epi16(sumMid, carryLow);
  const V carryUp = _mm_or_si128(
      carryMid, _mm_and_si128(carryLow, _mm_cmpeq_epi16(midPlus, _mm_setzero_si128())));
  a.high = _mm_sub_epi16(_mm_add_epi16(a.high, high), carryUp);
  a.mid = midPlus;
  a.low = sumLow;
}

// acc[47:16] clamped to a signed halfword.
[[gnu::always_inline]] inline V ClampSigned(const TAcc& a) {
  return _mm_packs_epi32(_mm_unpacklo_epi16(a.mid, a.high), _mm_unpackhi_epi16(a.mid, a.high));
}
// acc[47:16] clamped to 0 below and to 0xFFFF past 0x7FFF.
[[gnu::always_inline]] inline V ClampUnsigned(const TAcc& a) {
  const V zero = _mm_setzero_si128();
  const V negative = _mm_cmplt_epi16(a.high, zero);
  const V over =
      _mm_or_si128(_mm_cmpgt_epi16(a.high, zero),
                   _mm_and_si128(_mm_cmpeq_epi16(a.high, zero), _mm_cmplt_epi16(a.mid, zero)));
  return _mm_andnot_si128(negative, _mm_or_si128(a.mid, over));
}
// acc[15:0], or 0 / 0xFFFF when acc[47:16] does not fit a signed halfword.
[[gnu::always_inline]] inline V ClampLow(const TAcc& a) {
  const V fits = _mm_cmpeq_epi16(a.high, _mm_srai_epi16(a.mid, 15));
  const V positive = Not(_mm_srai_epi16(a.high, 15));
  return Blend(fits, a.low, positive);
}

// ---- Products, as the 32-bit (high:low) halves of each lane ----

struct TProduct {
  V high, low;
  V Sign() const { return _mm_srai_epi16(high, 15); }
};

TProduct SignedProduct(V s, V t) {
  return {_mm_mulhi_epi16(s, t), _mm_mullo_epi16(s, t)};
}
// Signed s times unsigned t.
TProduct MixedProduct(V s, V t) {
  const V high = _mm_add_epi16(_mm_mulhi_epi16(s, t), _mm_and_si128(s, _mm_srai_epi16(t, 15)));
  return {high, _mm_mullo_epi16(s, t)};
}

// ---- Multiplies: the accumulator, then vd from it ----

enum class Clamp { kSigned, kUnsigned, kLow };

[[gnu::always_inline]] inline V Output(const TAcc& a, Clamp clamp) {
  switch (clamp) {
    case Clamp::kSigned:
      return ClampSigned(a);
    case Clamp::kUnsigned:
      return ClampUnsigned(a);
    default:
      return ClampLow(a);
  }
}

[[gnu::always_inline]] inline TAcc Zero() {
  const V zero = _mm_setzero_si128();
  return {zero, zero, zero};
}

// The products as 48-bit values, one per kind of multiply.
enum class Product {
  kFraction,  // VMULF, VMULU, VMACF, VMACU: signed, doubled
  kLowLow,    // VMUDL, VMADL: unsigned, the upper half only
  kHighLow,   // VMUDM, VMADM: signed vs, unsigned vt
  kLowHigh,   // VMUDN, VMADN: unsigned vs, signed vt
  kHighHigh,  // VMUDH, VMADH: signed, shifted up 16
};

template <Product kProduct>
[[gnu::always_inline]] inline TAcc MakeProduct(V s, V t) {
  const V zero = _mm_setzero_si128();
  switch (kProduct) {
    case Product::kFraction: {
      const TProduct p = SignedProduct(s, t);
      const V mid = _mm_or_si128(_mm_slli_epi16(p.high, 1), _mm_srli_epi16(p.low, 15));
      return {p.Sign(), mid, _mm_slli_epi16(p.low, 1)};
    }
    case Product::kLowLow:
      return {zero, zero, _mm_mulhi_epu16(s, t)};
    case Product::kHighLow: {
      const TProduct p = MixedProduct(s, t);
      return {p.Sign(), p.high, p.low};
    }
    case Product::kLowHigh: {
      const TProduct p = MixedProduct(t, s);
      return {p.Sign(), p.high, p.low};
    }
    default: {
      const TProduct p = SignedProduct(s, t);
      return {p.high, p.low, zero};
    }
  }
}

// acc += p, skipping the slices the kind of product leaves zero.
template <Product kProduct>
[[gnu::always_inline]] inline void Accumulate(TAcc& a, const TAcc& p) {
  if (kProduct == Product::kHighHigh) {
    const V sumMid = _mm_add_epi16(a.mid, p.mid);
    a.high = _mm_sub_epi16(_mm_add_epi16(a.high, p.high), LessUnsigned(sumMid, p.mid));
    a.mid = sumMid;
  } else if (kProduct == Product::kLowLow) {
    const V sumLow = _mm_add_epi16(a.low, p.low);
    const V carryLow = LessUnsigned(sumLow, p.low);
    const V sumMid = _mm_sub_epi16(a.mid, carryLow);
    const V carryMid = _mm_and_si128(carryLow, _mm_cmpeq_epi16(sumMid, _mm_setzero_si128()));
    a.high = _mm_sub_epi16(a.high, carryMid);
    a.mid = sumMid;
    a.low = sumLow;
  } else {
    Add(a, p.high, p.mid, p.low);
  }
}

// VMULF and VMULU: doubled product rounded at bit 15.
[[gnu::always_inline]] inline TAcc MultiplyFraction(V s, V t) {
  TAcc a = MakeProduct<Product::kFraction>(s, t);
  const V zero = _mm_setzero_si128();
  Add(a, zero, zero, _mm_set1_epi16(static_cast<int16_t>(0x8000)));
  return a;
}

// acc[47:16] as 32-bit lanes: lanes 0-3, then 4-7.
struct TUpper {
  V first, second;
};
[[gnu::always_inline]] inline TUpper Upper(const TAcc& a) {
  return {_mm_unpacklo_epi16(a.mid, a.high), _mm_unpackhi_epi16(a.mid, a.high)};
}
[[gnu::always_inline]] inline void SetUpper(TAcc& a, const TUpper& u) {
  const auto low16 = [](V x) { return _mm_srai_epi32(_mm_slli_epi32(x, 16), 16); };
  a.mid = _mm_packs_epi32(low16(u.first), low16(u.second));
  a.high = _mm_packs_epi32(_mm_srai_epi32(u.first, 16), _mm_srai_epi32(u.second, 16));
}
// VMULQ and VMACQ: acc[47:16] halved, clamped, to a multiple of 16.
[[gnu::always_inline]] inline V QuantizedOutput(const TUpper& u) {
  const V clamped = _mm_packs_epi32(_mm_srai_epi32(u.first, 1), _mm_srai_epi32(u.second, 1));
  return _mm_and_si128(clamped, _mm_set1_epi16(static_cast<int16_t>(0xFFF0)));
}

// VMULQ: the product at bit 16, 31 added to a negative one so that the halving rounds to zero.
[[gnu::always_inline]] inline TAcc MultiplyQuantized(V s, V t, V& out) {
  const TProduct p = SignedProduct(s, t);
  TAcc a = Zero();
  Add(a, p.high, p.low, _mm_setzero_si128());
  const V zero = _mm_setzero_si128();
  Add(a, zero, _mm_and_si128(p.Sign(), _mm_set1_epi16(31)), zero);
  out = QuantizedOutput(Upper(a));
  return a;
}

// VMACQ: no product; acc[47:16] steps 32 towards zero unless its bit 5 is set.
[[gnu::always_inline]] inline V Oddify(TAcc& a) {
  TUpper u = Upper(a);
  const V bit5 = _mm_set1_epi32(0x20);
  for (V* x : {&u.first, &u.second}) {
    const V clear = _mm_cmpeq_epi32(_mm_and_si128(*x, bit5), _mm_setzero_si128());
    const V negative = _mm_cmplt_epi32(*x, _mm_setzero_si128());
    const V large = _mm_cmpgt_epi32(*x, _mm_set1_epi32(0x1F));
    const V step =
        _mm_or_si128(_mm_and_si128(negative, bit5), _mm_and_si128(large, _mm_set1_epi32(-0x20)));
    *x = _mm_add_epi32(*x, _mm_and_si128(clear, step));
  }
  SetUpper(a, u);
  return QuantizedOutput(u);
}

// VRNDP and VRNDN: vt (shifted up 16 when vs is odd) added where the accumulator's sign is the
// one asked for.
[[gnu::always_inline]] inline V Round(TAcc& a, V t, bool shifted, bool whenNegative) {
  V sign = _mm_srai_epi16(a.high, 15);
  if (!whenNegative) sign = Not(sign);
  const V ext = _mm_srai_epi16(t, 15);
  if (shifted)
    Add(a, _mm_and_si128(sign, ext), _mm_and_si128(sign, t), _mm_setzero_si128());
  else
    Add(a, _mm_and_si128(sign, ext), _mm_and_si128(sign, ext), _mm_and_si128(sign, t));
  return ClampSigned(a);
}

// ---- The operation on one instruction's operands ----

struct TOp {
  TVectorUnit& u;
  V s, t;
  uint32_t e, vs, vd;
};

void Write(TOp& op, V result) {
  Store(op.u.reg[op.vd], result);
}
void WriteWithLow(TOp& op, V result) {
  Store(op.u.accLow, result);
  Store(op.u.reg[op.vd], result);
}

template <Product kProduct, bool kAccumulate, Clamp kClamp>
void MultiplyAdd(TOp& op) {
  TAcc a = MakeProduct<kProduct>(op.s, op.t);
  if (kAccumulate) {
    const TAcc p = a;
    a = LoadAcc(op.u);
    Accumulate<kProduct>(a, p);
  }
  StoreAcc(op.u, a);
  Write(op, Output(a, kClamp));
}

template <Clamp kClamp>
void MultiplyFractionOp(TOp& op) {
  const TAcc a = MultiplyFraction(op.s, op.t);
  StoreAcc(op.u, a);
  Write(op, Output(a, kClamp));
}

V CarryIn(const TVectorUnit& u) {
  return _mm_srli_epi16(ExpandFlags(u.vco & 0xFF), 15);
}

// VADD and VSUB: vs + vt + carry (vs + ~vt + !carry for the difference) clamped, exact sum
// in the accumulator; one saturating step on the smaller operand first keeps it exact.
void AddOp(TOp& op) {
  const V carry = CarryIn(op.u);
  const V exact = _mm_add_epi16(_mm_add_epi16(op.s, op.t), carry);
  const V low = _mm_min_epi16(op.s, op.t), high = _mm_max_epi16(op.s, op.t);
  Store(op.u.accLow, exact);
  Write(op, _mm_adds_epi16(_mm_adds_epi16(low, carry), high));
  op.u.vco = 0;
}
void SubOp(TOp& op) {
  const V carry = CarryIn(op.u);
  const V notT = Not(op.t);
  const V borrowFree = _mm_xor_si128(carry, _mm_set1_epi16(1));
  const V exact = _mm_sub_epi16(_mm_sub_epi16(op.s, op.t), carry);
  const V low = _mm_min_epi16(op.s, notT), high = _mm_max_epi16(op.s, notT);
  Store(op.u.accLow, exact);
  Write(op, _mm_adds_epi16(_mm_adds_epi16(low, borrowFree), high));
  op.u.vco = 0;
}

void AbsOp(TOp& op) {
  const V zero = _mm_setzero_si128();
  const V negative = _mm_cmplt_epi16(op.s, zero);
  const V isZero = _mm_cmpeq_epi16(op.s, zero);
  const V exact = _mm_andnot_si128(isZero, _mm_sub_epi16(_mm_xor_si128(op.t, negative), negative));
  Store(op.u.accLow, exact);
  Write(op, _mm_andnot_si128(isZero, Blend(negative, _mm_subs_epi16(zero, op.t), op.t)));
}

void AddCarryOp(TOp& op) {
  const V sum = _mm_add_epi16(op.s, op.t);
  WriteWithLow(op, sum);
  op.u.vco = PackFlags(LessUnsigned(sum, op.s), _mm_setzero_si128());
}
void SubCarryOp(TOp& op) {
  const V difference = _mm_sub_epi16(op.s, op.t);
  WriteWithLow(op, difference);
  op.u.vco = PackFlags(LessUnsigned(op.s, op.t), Not(_mm_cmpeq_epi16(op.s, op.t)));
}

void AccumulatorReadOp(TOp& op) {  // VSAR
  switch (op.e) {
    case 8:
      Write(op, Load(op.u.accHigh));
      break;
    case 9:
      Write(op, Load(op.u.accMid));
      break;
    case 10:
      Write(op, Load(op.u.accLow));
      break;
    default:
      Write(op, _mm_setzero_si128());
  }
}

enum class Logic { kAnd, kNand, kOr, kNor, kXor, kNxor };

template <Logic kLogic>
void LogicOp(TOp& op) {
  V r;
  switch (kLogic) {
    case Logic::kAnd:
    case Logic::kNand:
      r = _mm_and_si128(op.s, op.t);
      break;
    case Logic::kOr:
    case Logic::kNor:
      r = _mm_or_si128(op.s, op.t);
      break;
    default:
      r = _mm_xor_si128(op.s, op.t);
  }
  if (kLogic == Logic::kNand || kLogic == Logic::kNor || kLogic == Logic::kNxor) r = Not(r);
  WriteWithLow(op, r);
}

enum class Compare { kLess, kEqual, kNotEqual, kGreaterEqual };

// VLT, VEQ, VNE, VGE: the compare flag picks vs over vt; equal lanes look at the carry and
// not-equal flags a VADDC or VSUBC left.
template <Compare kCompare>
void CompareOp(TOp& op) {
  const V carry = ExpandFlags(op.u.vco & 0xFF);
  const V notEqual = ExpandFlags(op.u.vco >> 8);
  const V equal = _mm_cmpeq_epi16(op.s, op.t);
  const V both = _mm_and_si128(carry, notEqual);
  V flag;
  switch (kCompare) {
    case Compare::kLess:
      flag = _mm_or_si128(_mm_cmplt_epi16(op.s, op.t), _mm_and_si128(equal, both));
      break;
    case Compare::kEqual:
      flag = _mm_andnot_si128(notEqual, equal);
      break;
    case Compare::kNotEqual:
      flag = _mm_or_si128(Not(equal), notEqual);
      break;
    default:
      flag = _mm_or_si128(_mm_cmpgt_epi16(op.s, op.t), _mm_andnot_si128(both, equal));
  }
  WriteWithLow(op, Blend(flag, op.s, op.t));
  op.u.vcc = PackFlags(flag, _mm_setzero_si128());
  op.u.vco = 0;
}

// VCH: the high halves of a double-precision clip test against +-vt. Where the signs differ
// vs is compared with -vt, elsewhere with vt.
void ClipHighOp(TOp& op) {
  const V zero = _mm_setzero_si128();
  const V sign = _mm_cmplt_epi16(_mm_xor_si128(op.s, op.t), zero);
  const V sum = _mm_add_epi16(op.s, op.t);
  const V difference = _mm_sub_epi16(op.s, op.t);
  const V minusOne = Ones();
  const V tNegative = _mm_cmplt_epi16(op.t, zero);
  const V sumIsMinusOne = _mm_cmpeq_epi16(sum, minusOne);
  const V le = Blend(sign, _mm_cmplt_epi16(sum, _mm_set1_epi16(1)), tNegative);
  const V ge = Blend(sign, tNegative, Not(_mm_cmplt_epi16(difference, zero)));
  const V equal = Blend(sign, _mm_or_si128(_mm_cmpeq_epi16(sum, zero), sumIsMinusOne),
                        _mm_cmpeq_epi16(difference, zero));
  const V negT = _mm_sub_epi16(zero, op.t);
  const V result = Blend(sign, Blend(le, negT, op.s), Blend(ge, op.t, op.s));
  WriteWithLow(op, result);
  op.u.vco = PackFlags(sign, Not(equal));
  op.u.vcc = PackFlags(le, ge);
  op.u.vce = static_cast<uint8_t>(PackFlags(_mm_and_si128(sign, sumIsMinusOne), zero));
}

// VCL: the low halves, unsigned, deciding only the lanes whose high halves were equal.
void ClipLowOp(TOp& op) {
  const V sign = ExpandFlags(op.u.vco & 0xFF);
  const V notEqual = ExpandFlags(op.u.vco >> 8);
  const V extension = ExpandFlags(op.u.vce);
  const V oldLe = ExpandFlags(op.u.vcc & 0xFF);
  const V oldGe = ExpandFlags(op.u.vcc >> 8);
  const V sum = _mm_add_epi16(op.s, op.t);
  const V lowZero = _mm_cmpeq_epi16(sum, _mm_setzero_si128());
  const V noCarry = Not(LessUnsigned(sum, op.s));
  const V leNew = Blend(extension, _mm_or_si128(lowZero, noCarry), _mm_and_si128(lowZero, noCarry));
  const V geNew = Not(LessUnsigned(op.s, op.t));
  const V le = Blend(_mm_andnot_si128(notEqual, sign), leNew, oldLe);
  const V ge = Blend(_mm_or_si128(notEqual, sign), oldGe, geNew);
  const V negT = _mm_sub_epi16(_mm_setzero_si128(), op.t);
  const V result = Blend(sign, Blend(le, negT, op.s), Blend(ge, op.t, op.s));
  WriteWithLow(op, result);
  op.u.vcc = PackFlags(le, ge);
  op.u.vco = 0;
  op.u.vce = 0;
}

// VCR: a single-precision clip test against +-vt in ones' complement.
void ClipRangeOp(TOp& op) {
  const V zero = _mm_setzero_si128();
  const V sign = _mm_cmplt_epi16(_mm_xor_si128(op.s, op.t), zero);
  const V tNegative = _mm_cmplt_epi16(op.t, zero);
  const V le = Blend(sign, _mm_cmplt_epi16(_mm_add_epi16(op.s, op.t), zero), tNegative);
  const V ge = Blend(sign, tNegative, Not(_mm_cmplt_epi16(_mm_sub_epi16(op.s, op.t), zero)));
  const V result = Blend(sign, Blend(le, Not(op.t), op.s), Blend(ge, op.t, op.s));
  WriteWithLow(op, result);
  op.u.vcc = PackFlags(le, ge);
  op.u.vco = 0;
  op.u.vce = 0;
}

void MergeOp(TOp& op) {
  WriteWithLow(op, Blend(ExpandFlags(op.u.vcc & 0xFF), op.s, op.t));
  op.u.vco = 0;
}

// ---- Single-lane operations: VMOV and the divide unit ----

enum class Divide { kReciprocal, kInverseSqrt };
enum class Precision { kSingle, kLow, kHigh };

// The source is lane vs & 7 of vt as the element field selects it, and so is the destination
// lane; the accumulator's low slice takes the whole selected vt.
template <Divide kDivide, Precision kPrecision>
void DivideOp(TOp& op) {
  Store(op.u.accLow, op.t);
  const uint32_t lane = op.vs & 7;
  const int16_t source = static_cast<int16_t>(op.u.accLow.e[lane]);
  uint16_t& out = op.u.reg[op.vd].e[lane];
  if (kPrecision == Precision::kHigh) {
    op.u.divIn = source;
    op.u.divInLoaded = true;
    out = static_cast<uint16_t>(op.u.divOut);
    return;
  }
  int32_t input = source;
  if (kPrecision == Precision::kLow && op.u.divInLoaded)
    input = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint16_t>(op.u.divIn)) << 16 |
                                 static_cast<uint16_t>(source));
  const int32_t result = kDivide == Divide::kReciprocal ? Reciprocal(input) : InverseSqrt(input);
  out = static_cast<uint16_t>(result);
  op.u.divOut = static_cast<int16_t>(result >> 16);
  op.u.divInLoaded = false;
}

void MoveOp(TOp& op) {
  Store(op.u.accLow, op.t);
  const uint32_t lane = op.vs & 7;
  op.u.reg[op.vd].e[lane] = op.u.accLow.e[lane];
}

}  // namespace

void ExecuteVectorOp(TVectorUnit& unit, uint32_t instruction) {
  const uint32_t e = (instruction >> 21) & 15;
  const uint32_t vt = (instruction >> 16) & 31;
  const uint32_t vs = (instruction >> 11) & 31;
  TOp op{unit, Load(unit.reg[vs]),     SelectElements(Load(unit.reg[vt]), e), e,
         vs,   (instruction >> 6) & 31};
  switch (instruction & 63) {
    case 0x00:
      MultiplyFractionOp<Clamp::kSigned>(op);
      break;  // VMULF
    case 0x01:
      MultiplyFractionOp<Clamp::kUnsigned>(op);
      break;      // VMULU
    case 0x02: {  // VRNDP
      TAcc a = LoadAcc(unit);
      Write(op, Round(a, op.t, vs & 1, false));
      StoreAcc(unit, a);
      break;
    }
    case 0x03: {  // VMULQ
      V out;
      StoreAcc(unit, MultiplyQuantized(op.s, op.t, out));
      Write(op, out);
      break;
    }
    case 0x04:
      MultiplyAdd<Product::kLowLow, false, Clamp::kLow>(op);
      break;  // VMUDL
    case 0x05:
      MultiplyAdd<Product::kHighLow, false, Clamp::kSigned>(op);
      break;  // VMUDM
    case 0x06:
      MultiplyAdd<Product::kLowHigh, false, Clamp::kLow>(op);
      break;  // VMUDN
    case 0x07:
      MultiplyAdd<Product::kHighHigh, false, Clamp::kSigned>(op);
      break;  // VMUDH
    case 0x08:
      MultiplyAdd<Product::kFraction, true, Clamp::kSigned>(op);
      break;  // VMACF
    case 0x09:
      MultiplyAdd<Product::kFraction, true, Clamp::kUnsigned>(op);
      break;      // VMACU
    case 0x0A: {  // VRNDN
      TAcc a = LoadAcc(unit);
      Write(op, Round(a, op.t, vs & 1, true));
      StoreAcc(unit, a);
      break;
    }
    case 0x0B: {  // VMACQ
      TAcc a = LoadAcc(unit);
      Write(op, Oddify(a));
      StoreAcc(unit, a);
      break;
    }
    case 0x0C:
      MultiplyAdd<Product::kLowLow, true, Clamp::kLow>(op);
      break;  // VMADL
    case 0x0D:
      MultiplyAdd<Product::kHighLow, true, Clamp::kSigned>(op);
      break;  // VMADM
    case 0x0E:
      MultiplyAdd<Product::kLowHigh, true, Clamp::kLow>(op);
      break;  // VMADN
    case 0x0F:
      MultiplyAdd<Product::kHighHigh, true, Clamp::kSigned>(op);
      break;  // VMADH
    case 0x10:
      AddOp(op);
      break;  // VADD
    case 0x11:
      SubOp(op);
      break;  // VSUB
    case 0x13:
      AbsOp(op);
      break;  // VABS
    case 0x14:
      AddCarryOp(op);
      break;  // VADDC
    case 0x15:
      SubCarryOp(op);
      break;  // VSUBC
    case 0x1D:
      AccumulatorReadOp(op);
      break;  // VSAR
    case 0x20:
      CompareOp<Compare::kLess>(op);
      break;  // VLT
    case 0x21:
      CompareOp<Compare::kEqual>(op);
      break;  // VEQ
    case 0x22:
      CompareOp<Compare::kNotEqual>(op);
      break;  // VNE
    case 0x23:
      CompareOp<Compare::kGreaterEqual>(op);
      break;  // VGE
    case 0x24:
      ClipLowOp(op);
      break;  // VCL
    case 0x25:
      ClipHighOp(op);
      break;  // VCH
    case 0x26:
      ClipRangeOp(op);
      break;  // VCR
    case 0x27:
      MergeOp(op);
      break;  // VMRG
    case 0x28:
      LogicOp<Logic::kAnd>(op);
      break;  // VAND
    case 0x29:
      LogicOp<Logic::kNand>(op);
      break;  // VNAND
    case 0x2A:
      LogicOp<Logic::kOr>(op);
      break;  // VOR
    case 0x2B:
      LogicOp<Logic::kNor>(op);
      break;  // VNOR
    case 0x2C:
      LogicOp<Logic::kXor>(op);
      break;  // VXOR
    case 0x2D:
      LogicOp<Logic::kNxor>(op);
      break;  // VNXOR
    case 0x30:
      DivideOp<Divide::kReciprocal, Precision::kSingle>(op);
      break;  // VRCP
    case 0x31:
      DivideOp<Divide::kReciprocal, Precision::kLow>(op);
      break;  // VRCPL
    case 0x32:
      DivideOp<Divide::kReciprocal, Precision::kHigh>(op);
      break;  // VRCPH
    case 0x33:
      MoveOp(op);
      break;  // VMOV
    case 0x34:
      DivideOp<Divide::kInverseSqrt, Precision::kSingle>(op);
      break;  // VRSQ
    case 0x35:
      DivideOp<Divide::kInverseSqrt, Precision::kLow>(op);
      break;  // VRSQL
    case 0x36:
      DivideOp<Divide::kInverseSqrt, Precision::kHigh>(op);
      break;  // VRSQH
    default:
      break;  // VNOP and the encodings the unit does not know
  }
}

}  // namespace vantor::rsp
