#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "rsp/VectorDivide.h"
#include "rsp/VectorUnit.h"
#include "tests/rsp/ReferenceVectorUnit.h"

namespace vantor::rsp {
namespace {

using test::ReferenceVectorOp;

constexpr uint32_t VectorOp(uint32_t funct, uint32_t vd, uint32_t vs, uint32_t vt, uint32_t e = 0) {
  return 0x12u << 26 | 1u << 25 | (e & 15) << 21 | (vt & 31) << 16 | (vs & 31) << 11 |
         (vd & 31) << 6 | (funct & 63);
}

enum : uint32_t {
  VMULF = 0x00,
  VMULU = 0x01,
  VMUDL = 0x04,
  VMUDN = 0x06,
  VMUDH = 0x07,
  VMACF = 0x08,
  VMADN = 0x0E,
  VMADH = 0x0F,
  VADD = 0x10,
  VSUB = 0x11,
  VABS = 0x13,
  VADDC = 0x14,
  VSUBC = 0x15,
  VSAR = 0x1D,
  VLT = 0x20,
  VCL = 0x24,
  VCH = 0x25,
  VCR = 0x26,
  VMRG = 0x27,
  VOR = 0x2A,
  VRCP = 0x30,
  VRCPL = 0x31,
  VRCPH = 0x32,
  VMOV = 0x33,
  VRSQ = 0x34,
  VNOP = 0x37,
};

// Every operation the unit runs, and the encodings it leaves alone.
constexpr uint32_t kKnown[] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A,
                               0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x11, 0x13, 0x14, 0x15, 0x1D,
                               0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2A,
                               0x2B, 0x2C, 0x2D, 0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36};
constexpr uint32_t kIgnored[] = {0x12, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C,
                                 0x1E, 0x1F, 0x2E, 0x2F, 0x37, 0x38, 0x3A, 0x3F};

// Halfwords where the clamps and flags turn, mixed with any value.
uint16_t Operand(std::mt19937& rng) {
  static constexpr uint16_t kEdges[] = {0x0000, 0x0001, 0xFFFF, 0x7FFF, 0x8000, 0x8001,
                                        0x7FFE, 0x0020, 0xFFE0, 0x4000, 0xC000, 0x00FF};
  if (rng() % 3 == 0) return kEdges[rng() % std::size(kEdges)];
  return static_cast<uint16_t>(rng());
}

TVectorUnit RandomUnit(std::mt19937& rng) {
  TVectorUnit u{};
  for (TVector& v : u.reg)
    for (uint16_t& x : v.e)
      x = Operand(rng);
  for (TVector* v : {&u.accHigh, &u.accMid, &u.accLow})
    for (uint16_t& x : v->e)
      x = Operand(rng);
  u.vco = static_cast<uint16_t>(rng());
  u.vcc = static_cast<uint16_t>(rng());
  u.vce = static_cast<uint8_t>(rng());
  u.divIn = static_cast<int16_t>(Operand(rng));
  u.divOut = static_cast<int16_t>(Operand(rng));
  u.divInLoaded = rng() & 1;
  return u;
}

std::string Describe(const TVector& v) {
  std::string text;
  char lane[8];
  for (uint16_t x : v.e) {
    std::snprintf(lane, sizeof lane, " %04X", x);
    text += lane;
  }
  return text;
}

void ExpectSame(const TVectorUnit& fast, const TVectorUnit& model, const std::string& what) {
  const bool sameRegisters = std::memcmp(fast.reg, model.reg, sizeof fast.reg) == 0 &&
                             std::memcmp(&fast.accHigh, &model.accHigh, 3 * sizeof(TVector)) == 0;
  if (sameRegisters && fast.vco == model.vco && fast.vcc == model.vcc && fast.vce == model.vce &&
      fast.divIn == model.divIn && fast.divOut == model.divOut &&
      fast.divInLoaded == model.divInLoaded)
    return;
  for (int r = 0; r < 32; ++r)
    EXPECT_EQ(Describe(fast.reg[r]), Describe(model.reg[r])) << what << " register " << r;
  EXPECT_EQ(Describe(fast.accHigh), Describe(model.accHigh)) << what << " accumulator high";
  EXPECT_EQ(Describe(fast.accMid), Describe(model.accMid)) << what << " accumulator mid";
  EXPECT_EQ(Describe(fast.accLow), Describe(model.accLow)) << what << " accumulator low";
  EXPECT_EQ(fast.vco, model.vco) << what << " VCO";
  EXPECT_EQ(fast.vcc, model.vcc) << what << " VCC";
  EXPECT_EQ(fast.vce, model.vce) << what << " VCE";
  EXPECT_EQ(fast.divIn, model.divIn) << what << " divide input";
  EXPECT_EQ(fast.divOut, model.divOut) << what << " divide output";
  EXPECT_EQ(fast.divInLoaded, model.divInLoaded) << what << " divide input loaded";
}

// The SSE2 unit against the lane model: every operation under every element field, over random
// operands, with vd, vs and vt sometimes the same register.
TEST(VectorUnitTest, EveryOperationMatchesTheLaneModel) {
  std::mt19937 rng(2864);
  for (uint32_t funct : kKnown) {
    for (uint32_t e = 0; e < 16; ++e) {
      for (int trial = 0; trial < 24; ++trial) {
        TVectorUnit fast = RandomUnit(rng);
        TVectorUnit model = fast;
        const uint32_t vs = rng() % 32;
        const uint32_t vt = trial % 4 == 0 ? vs : rng() % 32;
        const uint32_t vd = trial % 5 == 0 ? vt : rng() % 32;
        const uint32_t word = VectorOp(funct, vd, vs, vt, e);
        ExecuteVectorOp(fast, word);
        ReferenceVectorOp(model, word);
        ExpectSame(fast, model, "word " + std::to_string(word));
        if (::testing::Test::HasFailure()) return;
      }
    }
  }
}

TEST(VectorUnitTest, UnknownEncodingsAndVnopChangeNothing) {
  std::mt19937 rng(77);
  for (uint32_t funct : kIgnored) {
    const TVectorUnit before = RandomUnit(rng);
    TVectorUnit after = before;
    ExecuteVectorOp(after, VectorOp(funct, 1, 2, 3, 5));
    ExpectSame(after, before, "funct " + std::to_string(funct));
  }
}

class VectorCases : public ::testing::Test {
 protected:
  TVectorUnit u{};
  void Set(int r, std::array<uint16_t, 8> lanes) { std::memcpy(u.reg[r].e, lanes.data(), 16); }
  void Fill(int r, uint16_t value) {
    Set(r, {value, value, value, value, value, value, value, value});
  }
  void Run(uint32_t funct, uint32_t vd, uint32_t vs, uint32_t vt, uint32_t e = 0) {
    ExecuteVectorOp(u, VectorOp(funct, vd, vs, vt, e));
  }
  uint16_t Lane(int r, int lane = 0) const { return u.reg[r].e[lane]; }
  uint64_t Acc(int lane = 0) const {
    return uint64_t{u.accHigh.e[lane]} << 32 | uint64_t{u.accMid.e[lane]} << 16 | u.accLow.e[lane];
  }
};

// Lanes 0-7 of vt hold 0-7, so each lane of the result names the element it read.
TEST_F(VectorCases, ElementFieldPicksTheDocumentedLanes) {
  Set(2, {0, 1, 2, 3, 4, 5, 6, 7});
  const char* expected[16] = {"01234567", "01234567", "00224466", "11335577",
                              "00004444", "11115555", "22226666", "33337777",
                              "00000000", "11111111", "22222222", "33333333",
                              "44444444", "55555555", "66666666", "77777777"};
  for (uint32_t e = 0; e < 16; ++e) {
    Run(VOR, 3, 0, 2, e);
    std::string lanes;
    for (int i = 0; i < 8; ++i)
      lanes += static_cast<char>('0' + Lane(3, i));
    EXPECT_EQ(lanes, expected[e]) << "e " << e;
  }
}

TEST_F(VectorCases, FractionalMultipliesRoundAndClamp) {
  Fill(1, 0x8000);
  Run(VMULF, 3, 1, 1);  // -1 * -1 is +1, one past the largest fraction
  EXPECT_EQ(Lane(3), 0x7FFF);
  EXPECT_EQ(Acc(), 0x000080008000u);
  Run(VMULU, 3, 1, 1);
  EXPECT_EQ(Lane(3), 0xFFFF);
  Fill(2, 0x4000);
  Run(VMULF, 3, 2, 2);  // 0.5 * 0.5
  EXPECT_EQ(Lane(3), 0x2000);
  Fill(4, 0xC000);
  Run(VMULU, 3, 2, 4);  // negative: 0 unsigned
  EXPECT_EQ(Lane(3), 0x0000);
  Run(VMULF, 3, 2, 4);
  EXPECT_EQ(Lane(3), 0xE000);
  Run(VMACF, 3, 2, 4);  // -0.25 twice, the first rounding kept in the accumulator
  EXPECT_EQ(Lane(3), 0xC000);
  EXPECT_EQ(Acc(), 0xFFFFC0008000u);
}

TEST_F(VectorCases, IntegerMultipliesClampTheirSlice) {
  Fill(1, 0x7FFF);
  Run(VMUDH, 3, 1, 1);  // 32767^2 saturates
  EXPECT_EQ(Lane(3), 0x7FFF);
  EXPECT_EQ(Acc(), 0x3FFF00010000u);
  Run(VMADH, 3, 1, 1);
  EXPECT_EQ(Lane(3), 0x7FFF);
  EXPECT_EQ(Acc(), 0x7FFE00020000u);
  Fill(2, 0x8000);
  Run(VMUDH, 3, 1, 2);  // -32767 * 32768 saturates low
  EXPECT_EQ(Lane(3), 0x8000);
  // The low slice saturates to 0 or 0xFFFF when the value past it does not fit.
  Fill(4, 0xFFFF);
  Run(VMUDN, 3, 4, 1);  // 65535 * 32767, acc[47:16] = 0x7FFE
  EXPECT_EQ(Lane(3), 0x8001);
  Run(VMADN, 3, 4, 1);  // 0xFFFD0002: past 0x7FFF
  EXPECT_EQ(Lane(3), 0xFFFF);
  Run(VMUDN, 3, 4, 2);  // 65535 * -32768 = -0x7FFF8000
  EXPECT_EQ(Lane(3), 0x8000);
  Run(VMADN, 3, 4, 2);  // twice that no longer fits: 0
  EXPECT_EQ(Lane(3), 0x0000);
  Run(VMUDL, 3, 4, 4);  // the upper half of 65535^2
  EXPECT_EQ(Lane(3), 0xFFFE);
  Run(VSAR, 5, 0, 0, 8);
  Run(VSAR, 6, 0, 0, 9);
  Run(VSAR, 7, 0, 0, 10);
  EXPECT_EQ(Lane(5), 0x0000);
  EXPECT_EQ(Lane(6), 0x0000);
  EXPECT_EQ(Lane(7), 0xFFFE);
}

TEST_F(VectorCases, AddsClampVdButKeepTheExactSumInTheAccumulator) {
  Set(1, {0x7FFF, 0x8000, 0x8000, 5, 0x7FFF, 0, 0x8000, 3});
  Set(2, {0x0001, 0xFFFF, 0x0001, 5, 0x8000, 0, 0x7FFF, 0xFFFF});
  u.vco = 0x00F0;  // carry into lanes 4-7
  Run(VADD, 3, 1, 2);
  const std::array<uint16_t, 8> sum = {0x7FFF, 0x8000, 0x8001, 10, 0x0000, 1, 0x0000, 3};
  const std::array<uint16_t, 8> exactSum = {0x8000, 0x7FFF, 0x8001, 10, 0x0000, 1, 0x0000, 3};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(Lane(3, i), sum[i]) << i;
    EXPECT_EQ(u.accLow.e[i], exactSum[i]) << i;
  }
  EXPECT_EQ(u.vco, 0);
  u.vco = 0x00FF;
  Run(VSUB, 3, 2, 1);  // 0x8000 - 0x7FFF - 1 in lane 4 goes past -32768
  EXPECT_EQ(Lane(3, 0), 0x8001);
  EXPECT_EQ(Lane(3, 4), 0x8000);
  EXPECT_EQ(u.accLow.e[4], 0x0000);
  EXPECT_EQ(Lane(3, 6), 0x7FFF);  // 32767 - -32768 - 1
  Set(4, {0xFFFF, 0, 1, 0x8000, 0xFFFF, 0, 0, 0});
  Set(5, {0x8000, 5, 0x8000, 3, 7, 0, 0, 0});
  Run(VABS, 6, 4, 5);
  EXPECT_EQ(Lane(6, 0), 0x7FFF);
  EXPECT_EQ(u.accLow.e[0], 0x8000);
  EXPECT_EQ(Lane(6, 1), 0);
  EXPECT_EQ(Lane(6, 2), 0x8000);
  EXPECT_EQ(Lane(6, 3), 0xFFFD);
  EXPECT_EQ(Lane(6, 4), 0xFFF9);
}

TEST_F(VectorCases, CarryOperationsFeedTheCompares) {
  Set(1, {0xFFFF, 1, 5, 5, 0, 0, 0, 0});
  Set(2, {0x0001, 1, 7, 5, 0, 0, 0, 0});
  Run(VADDC, 3, 1, 2);
  EXPECT_EQ(u.vco, 0x0001);
  Run(VSUBC, 3, 1, 2);  // lane 0 not equal, lane 2 borrows
  EXPECT_EQ(u.vco, 0x0504);
  // VLT on equal lanes: less only where both carry and not-equal are set.
  Set(4, {3, 3, 3, 3, 1, 1, 1, 1});
  u.vco = 0x0A0C;  // lanes 2, 3 carry; lanes 1, 3 not equal
  Run(VLT, 5, 4, 4);
  EXPECT_EQ(u.vcc, 0x0008);
  EXPECT_EQ(u.vco, 0);
  u.vcc = 0x00F0;
  Set(6, {10, 11, 12, 13, 14, 15, 16, 17});
  Run(VMRG, 7, 6, 4);
  for (int i = 0; i < 8; ++i)
    EXPECT_EQ(Lane(7, i), i < 4 ? Lane(4, i) : Lane(6, i)) << i;
}

// A double-precision clip test as microcode runs it: VCH on the high halves, VCL on the low
// ones; the flags must say whether S <= -T (le) and S >= T (ge) for the 32-bit values.
TEST_F(VectorCases, ChAndClTogetherCompareThirtyTwoBitValues) {
  std::mt19937 rng(31);
  const int32_t kEdges[] = {0,       1,       -1,       0x10000,    -0x10000,     0xFFFF,
                            -0xFFFF, 0x10001, -0x10001, 0x7FFFFFFF, INT32_MIN + 1};
  for (int trial = 0; trial < 4000; ++trial) {
    std::array<int32_t, 8> s, t;
    for (int i = 0; i < 8; ++i) {
      s[i] = trial % 2 ? kEdges[rng() % std::size(kEdges)] : static_cast<int32_t>(rng());
      // T near S or -S, so that the high halves often tie and the low halves decide.
      const int64_t near =
          static_cast<int64_t>(rng() % 4) - 2 + (rng() % 2 ? -int64_t{s[i]} : s[i]);
      t[i] = near > INT32_MIN && near <= INT32_MAX ? static_cast<int32_t>(near) : 5;
    }
    for (int i = 0; i < 8; ++i) {
      u.reg[1].e[i] = static_cast<uint16_t>(s[i] >> 16);
      u.reg[2].e[i] = static_cast<uint16_t>(s[i]);
      u.reg[3].e[i] = static_cast<uint16_t>(t[i] >> 16);
      u.reg[4].e[i] = static_cast<uint16_t>(t[i]);
    }
    Run(VCH, 5, 1, 3);
    Run(VCL, 6, 2, 4);
    for (int i = 0; i < 8; ++i) {
      const int64_t S = s[i], T = t[i];
      const bool differ = ((s[i] >> 16) ^ (t[i] >> 16)) < 0;
      const bool le = differ ? S <= -T : T < 0;
      const bool ge = differ ? T < 0 : S >= T;
      ASSERT_EQ((u.vcc >> i) & 1, le) << std::hex << "S " << S << " T " << T;
      ASSERT_EQ((u.vcc >> (i + 8)) & 1, ge) << std::hex << "S " << S << " T " << T;
      // The selected value: -T where S is clipped below, T where above, else S.
      const int64_t picked = differ ? (le ? -T : S) : (ge ? T : S);
      const uint32_t got = uint32_t{Lane(5, i)} << 16 | Lane(6, i);
      ASSERT_EQ(got & 0xFFFF, static_cast<uint32_t>(picked) & 0xFFFF) << std::hex << S << " " << T;
    }
    ASSERT_EQ(u.vco, 0);
    ASSERT_EQ(u.vce, 0);
  }
}

TEST_F(VectorCases, ChSetsCarryNotEqualAndExtension) {
  Set(1, {5, 0xFFFB, 0xFFFA, 4, 0x8000, 0, 0, 0});
  Set(2, {0xFFFB, 5, 5, 4, 0x7FFF, 0, 0, 0});
  Run(VCH, 3, 1, 2);
  // Lane 0: 5 vs -(-5): equal. Lane 1: -5 vs -5 equal, le. Lane 2: -6 + 5 = -1, extension.
  // Lane 3: same signs, equal. Lane 4: -32768 + 32767 = -1. Lanes 5-7: 0 against 0.
  EXPECT_EQ(u.vco & 0xFF, 0x17);
  EXPECT_EQ(u.vco >> 8, 0x00);
  EXPECT_EQ(u.vce, 0x14);
  EXPECT_EQ(u.vcc & 0xFF, 0x17);
  EXPECT_EQ(u.vcc >> 8, 0xE9);
  EXPECT_EQ(Lane(3, 1), 0xFFFB);
  EXPECT_EQ(Lane(3, 4), 0x8001);
}

TEST_F(VectorCases, CrClipsInOnesComplement) {
  Set(1, {5, 0xFFFB, 3, 0xFFFD, 0, 0, 0, 0});
  Set(2, {0xFFFD, 3, 3, 0xFFFC, 0, 0, 0, 0});
  u.vco = 0xFFFF;
  u.vce = 0xFF;
  Run(VCR, 3, 1, 2);
  // Lane 0: 5 against -3: not below ~(-3) = 2, ge since vt < 0. Lane 1: -5 <= ~3 = -4: le.
  // Lane 2: 3 >= 3: ge, vt. Lane 3: -3 >= -4: ge (vt < 0 also gives le).
  EXPECT_EQ(Lane(3, 0), 5);
  EXPECT_EQ(Lane(3, 1), 0xFFFC);
  EXPECT_EQ(Lane(3, 2), 3);
  EXPECT_EQ(Lane(3, 3), 0xFFFC);
  EXPECT_EQ(u.vcc & 0x0F, 0x0A);
  EXPECT_EQ((u.vcc >> 8) & 0x0F, 0x0D);
  EXPECT_EQ(u.vco, 0);
  EXPECT_EQ(u.vce, 0);
}

TEST(VectorDivideTest, TablesAsDocumented) {
  const auto& rcp = ReciprocalTable();
  EXPECT_EQ(rcp[0], 0xFFFF);
  EXPECT_EQ(rcp[1], 0xFF00);
  EXPECT_EQ(rcp[2], 0xFE01);
  EXPECT_EQ(rcp[3], 0xFD04);
  EXPECT_EQ(rcp[4], 0xFC07);
  EXPECT_EQ(rcp[5], 0xFB0C);
  EXPECT_EQ(rcp[511], 0x0040);
  const auto& rsq = InverseSqrtTable();
  EXPECT_EQ(rsq[0], 0x6A09);  // sqrt(2) - 1
  EXPECT_EQ(rsq[1], 0xFFFF);
  EXPECT_EQ(rsq[3], 0xFF00);
  // Both tables fall steadily within each exponent parity.
  for (int i = 1; i < 512; ++i)
    EXPECT_LT(rcp[i], rcp[i - 1]) << i;
  for (int i = 2; i < 512; ++i)
    EXPECT_LT(rsq[i], rsq[i - 2]) << i;
}

TEST(VectorDivideTest, ReciprocalAndInverseSqrtOfEveryHalfword) {
  EXPECT_EQ(Reciprocal(0), 0x7FFFFFFF);
  EXPECT_EQ(Reciprocal(1), 0x7FFFC000);
  EXPECT_EQ(Reciprocal(2), 0x3FFFE000);
  EXPECT_EQ(Reciprocal(-1), static_cast<int32_t>(0x80003FFF));
  EXPECT_EQ(Reciprocal(-32768), static_cast<int32_t>(0xFFFF0000));
  EXPECT_EQ(Reciprocal(0x10000), 0x00007FFF);
  EXPECT_EQ(InverseSqrt(0), 0x7FFFFFFF);
  EXPECT_EQ(InverseSqrt(1), 0x7FFFC000);
  EXPECT_EQ(InverseSqrt(2), 0x5A824000);
  EXPECT_EQ(InverseSqrt(4), 0x3FFFE000);
  EXPECT_EQ(InverseSqrt(-32768), static_cast<int32_t>(0xFFFF0000));
  // Below -32768 the magnitude is complemented rather than negated.
  EXPECT_EQ(Reciprocal(-65537), ~Reciprocal(65536));
  EXPECT_EQ(Reciprocal(-65535), ~Reciprocal(65535));
  for (int32_t x = 1; x < 32768; ++x) {
    const double rcp = 2147483648.0 / x, rsq = 2147483648.0 / std::sqrt(double(x));
    ASSERT_NEAR(Reciprocal(x), rcp, rcp / 256) << x;
    ASSERT_NEAR(InverseSqrt(x), rsq, rsq / 128) << x;
    ASSERT_EQ(Reciprocal(-x), ~Reciprocal(x)) << x;
    ASSERT_EQ(InverseSqrt(-x), ~InverseSqrt(x)) << x;
  }
}

TEST_F(VectorCases, DivideUnitInSingleAndDoublePrecision) {
  Set(2, {0, 1, 2, 4, 0, 0, 0, 0});
  Run(VRCP, 3, 1, 2, 9);  // vd[1] = low half of 1 / vt[1]
  EXPECT_EQ(Lane(3, 1), 0xC000);
  EXPECT_EQ(u.divOut, 0x7FFF);
  EXPECT_EQ(u.accLow.e[5], 1);  // the selected vt, whole
  Run(VRCPH, 4, 6, 2, 8);       // vd[6] = the high half; the next input's high half is 0
  EXPECT_EQ(Lane(4, 6), 0x7FFF);
  EXPECT_TRUE(u.divInLoaded);
  Set(5, {1, 0, 0, 0, 0, 0, 0, 0});
  Run(VRCPH, 4, 0, 5, 8);  // input 0x0001xxxx
  Run(VRCPL, 4, 1, 2, 8);  // low half 0: 1 / 65536
  EXPECT_EQ(Lane(4, 1), 0x7FFF);
  EXPECT_EQ(u.divOut, 0);
  EXPECT_FALSE(u.divInLoaded);
  Run(VRCPL, 4, 2, 2, 11);  // no high half loaded: single precision 1 / 4
  EXPECT_EQ(Lane(4, 2), 0xF000);
  EXPECT_EQ(u.divOut, 0x1FFF);
  Run(VRSQ, 4, 3, 2, 10);  // 1 / sqrt(2)
  EXPECT_EQ(Lane(4, 3), 0x4000);
  EXPECT_EQ(u.divOut, 0x5A82);
  Run(VMOV, 7, 5, 2, 11);  // vd[5] = vt[3]
  EXPECT_EQ(Lane(7, 5), 4);
  EXPECT_EQ(Lane(7, 4), 0);
}

}  // namespace
}  // namespace vantor::rsp
