// Every vector load and store at odd alignments, with elements that run off the register and
// addresses that wrap in DMEM or in a 16-byte line, worked by hand from the instruction
// descriptions. DMEM holds its own offset's low byte at each offset.
#include <gtest/gtest.h>

#include <array>

#include "rsp/VectorMemory.h"
#include "tests/rsp/RspCode.h"

namespace vantor::test::rspcode {
namespace {

enum : uint32_t { BV, SV, LV, DV, QV, RV, PV, UV, HV, FV, WV, TV };

using rsp::TVector;

class VectorMemoryTest : public RspTest {
 protected:
  void SetUp() override {
    RspTest::SetUp();
    for (uint32_t a = 0; a < 0x1000; ++a)
      SetDmemByte(a, static_cast<uint8_t>(a));
    for (uint32_t r = 0; r < 32; ++r)
      for (uint32_t i = 0; i < 8; ++i)
        unit.reg[r].e[i] = static_cast<uint16_t>(0xA000 | r << 4 | i);
  }
  // Runs the access with the base register holding `base` and offset 0.
  void Load(uint32_t op, uint32_t vt, uint32_t element, uint32_t base) {
    rsp::LoadVector(unit, DMEMPage->Data, VectorAccess(false, op, vt, element, 0, 1), base);
  }
  void Store(uint32_t op, uint32_t vt, uint32_t element, uint32_t base) {
    rsp::StoreVector(unit, DMEMPage->Data, VectorAccess(true, op, vt, element, 0, 1), base);
  }
  std::array<uint16_t, 8> Lanes(uint32_t vt) const {
    std::array<uint16_t, 8> lanes;
    for (uint32_t i = 0; i < 8; ++i)
      lanes[i] = unit.reg[vt].e[i];
    return lanes;
  }
  static std::array<uint8_t, 16> Bytes(uint32_t from) {
    std::array<uint8_t, 16> bytes;
    for (uint32_t i = 0; i < 16; ++i)
      bytes[i] = DmemByte(from + i);
    return bytes;
  }
  void SetLanes(uint32_t vt, std::array<uint16_t, 8> lanes) {
    for (uint32_t i = 0; i < 8; ++i)
      unit.reg[vt].e[i] = lanes[i];
  }
  rsp::TVectorUnit unit{};
};

using L = std::array<uint16_t, 8>;
using B = std::array<uint8_t, 16>;

TEST_F(VectorMemoryTest, ByteToDoubleLoadsStopAtTheRegistersEnd) {
  Load(BV, 1, 3, 0x123);
  EXPECT_EQ(Lanes(1), (L{0xA010, 0xA023, 0xA012, 0xA013, 0xA014, 0xA015, 0xA016, 0xA017}));
  Load(SV, 2, 15, 0x201);  // only byte 15 fits
  EXPECT_EQ(Lanes(2), (L{0xA020, 0xA021, 0xA022, 0xA023, 0xA024, 0xA025, 0xA026, 0xA001}));
  Load(LV, 3, 0, 0xFFE);  // wraps in DMEM
  EXPECT_EQ(Lanes(3), (L{0xFEFF, 0x0001, 0xA032, 0xA033, 0xA034, 0xA035, 0xA036, 0xA037}));
  Load(DV, 4, 1, 0x305);
  EXPECT_EQ(Lanes(4), (L{0xA005, 0x0607, 0x0809, 0x0A0B, 0x0C44, 0xA045, 0xA046, 0xA047}));
  // The offset counts in units of the access: LDV's 8 bytes, -1 of them.
  rsp::LoadVector(unit, DMEMPage->Data, VectorAccess(false, DV, 5, 8, -1, 1), 0x408);
  EXPECT_EQ(Lanes(5), (L{0xA050, 0xA051, 0xA052, 0xA053, 0x0001, 0x0203, 0x0405, 0x0607}));
}

TEST_F(VectorMemoryTest, QuadAndRestLoadsSplitAtTheLine) {
  Load(QV, 1, 0, 0x10B);  // the five bytes to the line's end
  EXPECT_EQ(Lanes(1), (L{0x0B0C, 0x0D0E, 0x0F12, 0xA013, 0xA014, 0xA015, 0xA016, 0xA017}));
  Load(RV, 2, 0, 0x10B);  // the eleven before the address, into the register's end
  EXPECT_EQ(Lanes(2), (L{0xA020, 0xA021, 0xA000, 0x0102, 0x0304, 0x0506, 0x0708, 0x090A}));
  Load(QV, 3, 9, 0x1F9);  // from element 9: seven bytes fit
  EXPECT_EQ(Lanes(3), (L{0xA030, 0xA031, 0xA032, 0xA033, 0xA0F9, 0xFAFB, 0xFCFD, 0xFEFF}));
  Load(RV, 4, 8, 0x1F3);  // three bytes would land at 13 + 8: none do
  EXPECT_EQ(Lanes(4), (L{0xA040, 0xA041, 0xA042, 0xA043, 0xA044, 0xA045, 0xA046, 0xA047}));
}

TEST_F(VectorMemoryTest, PackedLoadsFillTheLanesUpperBitsRotatedByTheElement) {
  Load(PV, 1, 0, 0x103);
  EXPECT_EQ(Lanes(1), (L{0x0300, 0x0400, 0x0500, 0x0600, 0x0700, 0x0800, 0x0900, 0x0A00}));
  Load(PV, 2, 2, 0x103);  // two bytes earlier
  EXPECT_EQ(Lanes(2), (L{0x0100, 0x0200, 0x0300, 0x0400, 0x0500, 0x0600, 0x0700, 0x0800}));
  Load(UV, 3, 8, 0x10C);  // eight bytes back: wraps in the 16 bytes from 0x108
  EXPECT_EQ(Lanes(3), (L{0x0A00, 0x0A80, 0x0B00, 0x0B80, 0x0400, 0x0480, 0x0500, 0x0580}));
  Load(HV, 4, 0, 0x101);
  EXPECT_EQ(Lanes(4), (L{0x0080, 0x0180, 0x0280, 0x0380, 0x0480, 0x0580, 0x0680, 0x0780}));
  Load(FV, 5, 0, 0x100);  // every fourth byte into lanes 0-3; lanes 4-7 stay
  EXPECT_EQ(Lanes(5), (L{0x0000, 0x0200, 0x0400, 0x0600, 0xA054, 0xA055, 0xA056, 0xA057}));
  Load(FV, 6, 8, 0x108);  // the other half from element 8
  EXPECT_EQ(Lanes(6), (L{0xA060, 0xA061, 0xA062, 0xA063, 0x0400, 0x0600, 0x0800, 0x0A00}));
}

TEST_F(VectorMemoryTest, TransposedLoadAndStoreWalkTheDiagonals) {
  Load(TV, 8, 0, 0x100);
  for (uint32_t i = 0; i < 8; ++i)
    EXPECT_EQ(unit.reg[8 + i].e[i], 0x0001 * (2 * i + 1) + 0x0100 * (2 * i)) << i;
  EXPECT_EQ(unit.reg[8].e[1], 0xA081u);  // the other lanes stay
  Load(TV, 16, 4, 0x20C);                // element 4 starts at register 16 + 2
  EXPECT_EQ(unit.reg[18].e[0], 0x0C0Du);
  EXPECT_EQ(unit.reg[17].e[7], 0x0A0Bu);  // wraps in the 16 bytes from 0x208
  // Stored with the same element, the diagonal comes out in the order it was loaded.
  Store(TV, 16, 4, 0x300);
  EXPECT_EQ(Bytes(0x300), (B{0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17,
                             0x08, 0x09, 0x0A, 0x0B}));
}

TEST_F(VectorMemoryTest, StoresWrapInTheRegisterAndInDmem) {
  SetLanes(1, {0x0011, 0x2233, 0x4455, 0x6677, 0x8899, 0xAABB, 0xCCDD, 0xEEFF});
  Store(BV, 1, 5, 0x401);
  EXPECT_EQ(DmemByte(0x401), 0x55);
  Store(SV, 1, 15, 0xFFF);  // byte 15 then byte 0; DMEM wraps
  EXPECT_EQ(DmemByte(0xFFF), 0xFF);
  EXPECT_EQ(DmemByte(0x000), 0x00);
  Store(LV, 1, 14, 0x503);
  EXPECT_EQ(Bytes(0x500), (B{0, 1, 2, 0xEE, 0xFF, 0x00, 0x11, 7, 8, 9, 10, 11, 12, 13, 14, 15}));
  Store(DV, 1, 9, 0x601);
  EXPECT_EQ(Bytes(0x600),
            (B{0, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x00, 9, 10, 11, 12, 13, 14, 15}));
  Store(QV, 1, 2, 0x70B);  // five bytes to the line's end
  EXPECT_EQ(Bytes(0x700), (B{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0x22, 0x33, 0x44, 0x55, 0x66}));
  Store(RV, 1, 0, 0x803);  // the register's last three bytes before the address
  EXPECT_EQ(Bytes(0x800), (B{0xDD, 0xEE, 0xFF, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}));
}

TEST_F(VectorMemoryTest, PackedStoresChooseUpperBitsByTheElement) {
  SetLanes(1, {0x0180, 0x7FFF, 0x8000, 0x1234, 0x00FF, 0xFF00, 0x4000, 0xC000});
  Store(PV, 1, 0, 0x901);  // each lane's upper byte
  EXPECT_EQ(Bytes(0x901),
            (B{0x01, 0x7F, 0x80, 0x12, 0x00, 0xFF, 0x40, 0xC0, 9, 10, 11, 12, 13, 14, 15, 16}));
  Store(PV, 1, 4, 0xA00);  // from element 4: lanes 4-7 upper, then 0-3 from bit 7
  EXPECT_EQ(Bytes(0xA00),
            (B{0x00, 0xFF, 0x40, 0xC0, 0x03, 0xFF, 0x00, 0x24, 8, 9, 10, 11, 12, 13, 14, 15}));
  Store(UV, 1, 0, 0xB03);  // bits 14-7
  EXPECT_EQ(Bytes(0xB03), (B{0x03, 0xFF, 0x00, 0x24, 0x01, 0xFE, 0x80, 0x80, 0x0B, 0x0C, 0x0D, 0x0E,
                             0x0F, 0x10, 0x11, 0x12}));
  Store(HV, 1, 0, 0xC05);  // every second byte, wrapping in the 16 from 0xC00
  const B h = Bytes(0xC00);
  EXPECT_EQ(h[5], 0x03);
  EXPECT_EQ(h[7], 0xFF);
  EXPECT_EQ(h[13], 0x01);
  EXPECT_EQ(h[15], 0xFE);
  EXPECT_EQ(h[1], 0x80);
  EXPECT_EQ(h[3], 0x80);
  EXPECT_EQ(h[2], 0x02);
  Store(FV, 1, 8, 0xD00);  // lanes 4-7, every fourth byte
  const B f = Bytes(0xD00);
  EXPECT_EQ(f[0], 0x01);
  EXPECT_EQ(f[4], 0xFE);
  EXPECT_EQ(f[8], 0x80);
  EXPECT_EQ(f[12], 0x80);
  EXPECT_EQ(f[1], 0x01);
  Store(WV, 1, 3, 0xE05);  // all sixteen, from byte 3, wrapping in the line
  EXPECT_EQ(Bytes(0xE00), (B{0xC0, 0x00, 0x01, 0x80, 0x7F, 0xFF, 0x80, 0x00, 0x12, 0x34, 0x00, 0xFF,
                             0xFF, 0x00, 0x40, 0x00}));
}

TEST_F(VectorMemoryTest, TheScalarUnitDispatchesLoadsAndStores) {
  RspCore.gpr[1] = 0x3F0;
  LoadMicrocode({
      I(0x09, 0, 2, 0x0F0),                 // addiu $2, $0, 0xF0
      VectorAccess(false, QV, 9, 0, 1, 1),  // lqv $v9[0], 16($1): 0x400
      VectorAccess(true, QV, 9, 0, 0, 2),   // sqv $v9[0], 0($2)
      Break(),
  });
  ASSERT_TRUE(RunUntilHalt());
  EXPECT_EQ(RspCore.vu.reg[9].e[0], 0x0001u);
  EXPECT_EQ(Bytes(0x0F0), (B{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}));
}

}  // namespace
}  // namespace vantor::test::rspcode
