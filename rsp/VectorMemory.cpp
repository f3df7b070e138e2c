#include "rsp/VectorMemory.h"

namespace vantor::rsp {

namespace {

constexpr uint32_t kAddressMask = 0xFFF;

// The instruction's fields: the operation (rd), the register (rt), the element (bits 10-7) and
// the signed 7-bit offset, in units of the operation's size.
struct TAccess {
  uint32_t op;
  uint32_t reg;
  uint32_t element;
  uint32_t address;
};

// log2 of the offset's unit, by operation: BV SV LV DV QV RV PV UV HV FV WV TV.
constexpr uint32_t kOffsetShift[16] = {0, 1, 2, 3, 4, 4, 3, 3, 4, 4, 4, 4, 0, 0, 0, 0};

TAccess Decode(uint32_t w, uint32_t base) {
  const uint32_t op = w >> 11 & 31;
  const auto offset = static_cast<int32_t>(w << 25) >> 25;
  const uint32_t shift = kOffsetShift[op & 15];
  return {op, w >> 16 & 31, w >> 7 & 15, base + static_cast<uint32_t>(offset * (1 << shift))};
}

// Byte i of a register in memory order: lane i / 2, its high byte first.
uint8_t Byte(const TVector& v, uint32_t i) {
  const uint16_t lane = v.e[(i >> 1) & 7];
  return static_cast<uint8_t>((i & 1) != 0 ? lane : lane >> 8);
}
void SetByte(TVector& v, uint32_t i, uint8_t value) {
  uint16_t& lane = v.e[(i >> 1) & 7];
  lane = (i & 1) != 0 ? static_cast<uint16_t>((lane & 0xFF00) | value)
                      : static_cast<uint16_t>((lane & 0x00FF) | value << 8);
}

uint8_t Read(const uint8_t* dmem, uint32_t address) {
  return dmem[(address & kAddressMask) ^ 3];
}
void Write(uint8_t* dmem, uint32_t address, uint8_t value) {
  dmem[(address & kAddressMask) ^ 3] = value;
}

// The packed, high and fourth forms address the 16 bytes from the address's 8-byte boundary,
// wrapping inside them; `at` is the position of the access's first byte among them. The loads
// rotate the bytes back by the element.
struct TLine {
  uint32_t start;
  uint32_t at;
};
TLine LineOf(uint32_t address, uint32_t rotate = 0) {
  return {address & ~7u, ((address & 7) - rotate) & 15};
}
uint32_t InLine(const TLine& line, uint32_t i) {
  return line.start + ((line.at + i) & 15);
}

// The transposed forms pair slot i with lane i of register (group base) + (i + element / 2) % 8.
uint32_t TransposedRegister(uint32_t reg, uint32_t element, uint32_t i) {
  return (reg & ~7u) | ((i + (element >> 1)) & 7);
}

}  // namespace

void LoadVector(TVectorUnit& unit, uint8_t* dmem, uint32_t instruction, uint32_t base) {
  const TAccess a = Decode(instruction, base);
  TVector& v = unit.reg[a.reg];
  const uint32_t e = a.element;
  switch (a.op) {
    case 0x00:  // LBV, LSV, LLV, LDV: bytes from the element on, none past the register's end
    case 0x01:
    case 0x02:
    case 0x03:
      for (uint32_t i = 0; i < (1u << a.op) && e + i < 16; ++i)
        SetByte(v, e + i, Read(dmem, a.address + i));
      break;
    case 0x04: {  // LQV: up to the end of the address's 16-byte line
      const uint32_t count = 16 - (a.address & 15);
      for (uint32_t i = 0; i < count && e + i < 16; ++i)
        SetByte(v, e + i, Read(dmem, a.address + i));
      break;
    }
    case 0x05: {  // LRV: the line's bytes before the address, into the register's end
      const uint32_t count = a.address & 15;
      const uint32_t start = a.address - count;
      for (uint32_t i = 0; i < count; ++i)
        if (e + 16 - count + i < 16) SetByte(v, e + 16 - count + i, Read(dmem, start + i));
      break;
    }
    case 0x06:  // LPV, LUV: eight bytes into the lanes' upper bits, rotated by the element
    case 0x07: {
      const TLine line = LineOf(a.address, e);
      const uint32_t shift = a.op == 0x06 ? 8 : 7;
      for (uint32_t i = 0; i < 8; ++i)
        v.e[i] = static_cast<uint16_t>(Read(dmem, InLine(line, i)) << shift);
      break;
    }
    case 0x08: {  // LHV: every second byte, into bits 14-7
      const TLine line = LineOf(a.address, e);
      for (uint32_t i = 0; i < 8; ++i)
        v.e[i] = static_cast<uint16_t>(Read(dmem, InLine(line, 2 * i)) << 7);
      break;
    }
    case 0x09: {  // LFV: every fourth byte into bits 14-7 of four lanes, then half a register
      const TLine line = LineOf(a.address, e);
      TVector temp{};
      for (uint32_t i = 0; i < 4; ++i) {
        temp.e[i] = static_cast<uint16_t>(Read(dmem, InLine(line, 4 * i)) << 7);
        temp.e[i + 4] = static_cast<uint16_t>(Read(dmem, InLine(line, 4 * i + 8)) << 7);
      }
      for (uint32_t i = e; i < e + 8 && i < 16; ++i)
        SetByte(v, i, Byte(temp, i));
      break;
    }
    case 0x0B: {  // LTV: one lane into each of eight registers
      const TLine line = LineOf(a.address);
      for (uint32_t i = 0; i < 8; ++i) {
        TVector& target = unit.reg[TransposedRegister(a.reg, e, i)];
        target.e[i] = static_cast<uint16_t>(Read(dmem, InLine(line, 2 * i)) << 8 |
                                            Read(dmem, InLine(line, 2 * i + 1)));
      }
      break;
    }
    default:  // LWV and the encodings past LTV load nothing
      break;
  }
}

void StoreVector(const TVectorUnit& unit, uint8_t* dmem, uint32_t instruction, uint32_t base) {
  const TAccess a = Decode(instruction, base);
  const TVector& v = unit.reg[a.reg];
  const uint32_t e = a.element;
  switch (a.op) {
    case 0x00:  // SBV, SSV, SLV, SDV: bytes from the element on, wrapping in the register
    case 0x01:
    case 0x02:
    case 0x03:
      for (uint32_t i = 0; i < (1u << a.op); ++i)
        Write(dmem, a.address + i, Byte(v, (e + i) & 15));
      break;
    case 0x04: {  // SQV
      const uint32_t count = 16 - (a.address & 15);
      for (uint32_t i = 0; i < count; ++i)
        Write(dmem, a.address + i, Byte(v, (e + i) & 15));
      break;
    }
    case 0x05: {  // SRV
      const uint32_t count = a.address & 15;
      const uint32_t start = a.address - count;
      for (uint32_t i = 0; i < count; ++i)
        Write(dmem, start + i, Byte(v, (e + 16 - count + i) & 15));
      break;
    }
    case 0x06:  // SPV, SUV: each lane's upper byte or bits 14-7; the element chooses which
    case 0x07:
      for (uint32_t i = 0; i < 8; ++i) {
        const uint32_t slot = (e + i) & 15;
        const bool upper = (slot < 8) == (a.op == 0x06);
        Write(dmem, a.address + i, static_cast<uint8_t>(v.e[slot & 7] >> (upper ? 8 : 7)));
      }
      break;
    case 0x08: {  // SHV: bits 14-7 of each lane to every second byte
      const TLine line = LineOf(a.address);
      for (uint32_t i = 0; i < 8; ++i) {
        const uint32_t b = (e + 2 * i) & 15;
        const auto value = static_cast<uint8_t>(Byte(v, b) << 1 | Byte(v, (b + 1) & 15) >> 7);
        Write(dmem, InLine(line, 2 * i), value);
      }
      break;
    }
    case 0x09: {  // SFV: bits 14-7 of four lanes to every fourth byte
      const TLine line = LineOf(a.address);
      for (uint32_t i = 0; i < 4; ++i)
        Write(dmem, InLine(line, 4 * i), static_cast<uint8_t>(v.e[((e >> 1) + i) & 7] >> 7));
      break;
    }
    case 0x0A: {  // SWV: the whole register, wrapping in the line
      const TLine line = LineOf(a.address);
      for (uint32_t i = 0; i < 16; ++i)
        Write(dmem, InLine(line, i), Byte(v, (e + i) & 15));
      break;
    }
    case 0x0B: {  // STV: one lane from each of eight registers
      const TLine line = LineOf(a.address);
      for (uint32_t i = 0; i < 8; ++i) {
        const uint16_t lane = unit.reg[TransposedRegister(a.reg, e, i)].e[i];
        Write(dmem, InLine(line, 2 * i), static_cast<uint8_t>(lane >> 8));
        Write(dmem, InLine(line, 2 * i + 1), static_cast<uint8_t>(lane));
      }
      break;
    }
    default:
      break;
  }
}

uint32_t MoveFromVector(const TVectorUnit& unit, uint32_t reg, uint32_t element) {
  const TVector& v = unit.reg[reg & 31];
  const auto value = static_cast<int16_t>(Byte(v, element & 15) << 8 | Byte(v, (element + 1) & 15));
  return static_cast<uint32_t>(static_cast<int32_t>(value));
}

void MoveToVector(TVectorUnit& unit, uint32_t reg, uint32_t element, uint32_t value) {
  TVector& v = unit.reg[reg & 31];
  element &= 15;
  SetByte(v, element, static_cast<uint8_t>(value >> 8));
  if (element < 15) SetByte(v, element + 1, static_cast<uint8_t>(value));
}

uint32_t ReadVectorControl(const TVectorUnit& unit, uint32_t reg) {
  switch (reg & 3) {
    case 0:
      return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(unit.vco)));
    case 1:
      return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(unit.vcc)));
    default:
      return unit.vce;
  }
}

void WriteVectorControl(TVectorUnit& unit, uint32_t reg, uint32_t value) {
  switch (reg & 3) {
    case 0:
      unit.vco = static_cast<uint16_t>(value);
      break;
    case 1:
      unit.vcc = static_cast<uint16_t>(value);
      break;
    default:
      unit.vce = static_cast<uint8_t>(value);
      break;
  }
}

}  // namespace vantor::rsp
