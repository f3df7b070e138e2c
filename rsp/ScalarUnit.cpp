#include "rsp/ScalarUnit.h"

#include "memory/AddressMap.h"
#include "memory/SignalProcessor.h"
#include "rsp/Rsp.h"
#include "rsp/SpState.h"
#include "rsp/VectorMemory.h"

namespace vantor::rsp {

namespace {

constexpr uint32_t kAddressMask = 0xFFF;
constexpr uint32_t kPcMask = 0xFFC;
constexpr uint32_t kCop2Computational = 1u << 25;

uint32_t Rs(uint32_t w) {
  return w >> 21 & 31;
}
uint32_t Rt(uint32_t w) {
  return w >> 16 & 31;
}
uint32_t Rd(uint32_t w) {
  return w >> 11 & 31;
}
uint32_t Sa(uint32_t w) {
  return w >> 6 & 31;
}
uint32_t Imm(uint32_t w) {
  return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(w)));
}

uint32_t& Gpr(uint32_t index) {
  return RspCore.gpr[index];
}

uint8_t* Dmem() {
  return DMEMPage->Data;
}

uint32_t LoadByte(uint32_t address) {
  return Dmem()[(address & kAddressMask) ^ 3];
}
void StoreByte(uint32_t address, uint32_t value) {
  Dmem()[(address & kAddressMask) ^ 3] = static_cast<uint8_t>(value);
}

// Big-endian values of 1, 2 or 4 bytes, each byte's address wrapping inside DMEM.
uint32_t Load(uint32_t address, uint32_t bytes) {
  uint32_t value = 0;
  for (uint32_t i = 0; i < bytes; ++i)
    value = value << 8 | LoadByte(address + i);
  return value;
}
void Store(uint32_t address, uint32_t bytes, uint32_t value) {
  for (uint32_t i = 0; i < bytes; ++i)
    StoreByte(address + i, value >> (8 * (bytes - 1 - i)));
}

uint32_t SignExtend(uint32_t value, uint32_t bits) {
  const uint32_t shift = 32 - bits;
  return static_cast<uint32_t>(static_cast<int32_t>(value << shift) >> shift);
}

void Branch(uint32_t at, uint32_t w, bool taken) {
  if (taken) RspCore.nextPc = (at + 4 + (Imm(w) << 2)) & kPcMask;
}

void Link(uint32_t reg, uint32_t at) {
  Gpr(reg) = (at + 8) & kAddressMask;
}

uint32_t NoDpRead(uint32_t) {
  return 0;
}
void NoDpWrite(uint32_t, uint32_t) {}

TDpRegisterRead dpRead = NoDpRead;
TDpRegisterWrite dpWrite = NoDpWrite;

// COP0 registers 0-7 are the SP registers, 8-15 the display processor's command registers.
uint32_t Cop0Read(uint32_t reg) {
  reg &= 15;
  return reg < kSpRegisters ? RspReadRegister(reg) : dpRead(reg - kSpRegisters);
}
void Cop0Write(uint32_t reg, uint32_t value) {
  reg &= 15;
  if (reg < kSpRegisters)
    RspWriteRegister(reg, value);
  else
    dpWrite(reg - kSpRegisters, value);
}

void Special(uint32_t w, uint32_t at) {
  const uint32_t s = Gpr(Rs(w)), t = Gpr(Rt(w));
  uint32_t& d = Gpr(Rd(w));
  switch (w & 63) {
    case 0x00:
      d = t << Sa(w);
      break;
    case 0x02:
      d = t >> Sa(w);
      break;
    case 0x03:
      d = static_cast<uint32_t>(static_cast<int32_t>(t) >> Sa(w));
      break;
    case 0x04:
      d = t << (s & 31);
      break;
    case 0x06:
      d = t >> (s & 31);
      break;
    case 0x07:
      d = static_cast<uint32_t>(static_cast<int32_t>(t) >> (s & 31));
      break;
    case 0x08:
      RspCore.nextPc = s & kPcMask;
      break;
    case 0x09:
      RspCore.nextPc = s & kPcMask;
      Link(Rd(w), at);
      break;
    case 0x0D:
      Break();
      break;
    // The unit has no overflow exception: ADD and SUB are ADDU and SUBU.
    case 0x20:
    case 0x21:
      d = s + t;
      break;
    case 0x22:
    case 0x23:
      d = s - t;
      break;
    case 0x24:
      d = s & t;
      break;
    case 0x25:
      d = s | t;
      break;
    case 0x26:
      d = s ^ t;
      break;
    case 0x27:
      d = ~(s | t);
      break;
    case 0x2A:
      d = static_cast<int32_t>(s) < static_cast<int32_t>(t) ? 1 : 0;
      break;
    case 0x2B:
      d = s < t ? 1 : 0;
      break;
    default:
      break;
  }
}

void RegImm(uint32_t w, uint32_t at) {
  const bool negative = static_cast<int32_t>(Gpr(Rs(w))) < 0;
  switch (Rt(w)) {
    case 0x00:
      Branch(at, w, negative);
      break;
    case 0x01:
      Branch(at, w, !negative);
      break;
    case 0x10:
      Branch(at, w, negative);
      Link(31, at);
      break;
    case 0x11:
      Branch(at, w, !negative);
      Link(31, at);
      break;
    default:
      break;
  }
}

void Cop0(uint32_t w) {
  switch (Rs(w)) {
    case 0x00:
      Gpr(Rt(w)) = Cop0Read(Rd(w));
      break;
    case 0x04:
      Cop0Write(Rd(w), Gpr(Rt(w)));
      break;
    default:
      break;
  }
}

void Cop2(uint32_t w) {
  TVectorUnit& vu = RspCore.vu;
  if ((w & kCop2Computational) != 0) {
    ExecuteVectorOp(vu, w);
    return;
  }
  const uint32_t element = w >> 7 & 15;
  switch (Rs(w)) {
    case 0x00:
      Gpr(Rt(w)) = MoveFromVector(vu, Rd(w), element);
      break;
    case 0x02:
      Gpr(Rt(w)) = ReadVectorControl(vu, Rd(w));
      break;
    case 0x04:
      MoveToVector(vu, Rd(w), element, Gpr(Rt(w)));
      break;
    case 0x06:
      WriteVectorControl(vu, Rd(w), Gpr(Rt(w)));
      break;
    default:
      break;
  }
}

void Execute(uint32_t w, uint32_t at) {
  const uint32_t s = Gpr(Rs(w));
  const uint32_t address = s + Imm(w);
  uint32_t& t = Gpr(Rt(w));
  switch (w >> 26) {
    case 0x00:
      Special(w, at);
      break;
    case 0x01:
      RegImm(w, at);
      break;
    case 0x02:
      RspCore.nextPc = (w << 2) & kPcMask;
      break;
    case 0x03:
      RspCore.nextPc = (w << 2) & kPcMask;
      Link(31, at);
      break;
    case 0x04:
      Branch(at, w, s == t);
      break;
    case 0x05:
      Branch(at, w, s != t);
      break;
    case 0x06:
      Branch(at, w, static_cast<int32_t>(s) <= 0);
      break;
    case 0x07:
      Branch(at, w, static_cast<int32_t>(s) > 0);
      break;
    case 0x08:
    case 0x09:
      t = s + Imm(w);
      break;
    case 0x0A:
      t = static_cast<int32_t>(s) < static_cast<int32_t>(Imm(w)) ? 1 : 0;
      break;
    case 0x0B:
      t = s < Imm(w) ? 1 : 0;
      break;
    case 0x0C:
      t = s & (w & 0xFFFF);
      break;
    case 0x0D:
      t = s | (w & 0xFFFF);
      break;
    case 0x0E:
      t = s ^ (w & 0xFFFF);
      break;
    case 0x0F:
      t = w << 16;
      break;
    case 0x10:
      Cop0(w);
      break;
    case 0x12:
      Cop2(w);
      break;
    case 0x20:
      t = SignExtend(Load(address, 1), 8);
      break;
    case 0x21:
      t = SignExtend(Load(address, 2), 16);
      break;
    case 0x23:
    case 0x27:
      t = Load(address, 4);
      break;
    case 0x24:
      t = Load(address, 1);
      break;
    case 0x25:
      t = Load(address, 2);
      break;
    case 0x28:
      Store(address, 1, t);
      break;
    case 0x29:
      Store(address, 2, t);
      break;
    case 0x2B:
      Store(address, 4, t);
      break;
    case 0x32:
      LoadVector(RspCore.vu, Dmem(), w, s);
      break;
    case 0x3A:
      StoreVector(RspCore.vu, Dmem(), w, s);
      break;
    default:
      break;
  }
}

}  // namespace

void StepScalar() {
  const uint32_t at = RspCore.pc;
  const uint32_t w = PageWord(IMEMPage->Data, at);
  RspCore.pc = RspCore.nextPc;
  RspCore.nextPc = (RspCore.nextPc + 4) & kPcMask;
  Execute(w, at);
  RspCore.gpr[0] = 0;
}

void RunScalar(uint32_t& cycles, uint32_t limit) {
  const uint8_t* imem = IMEMPage->Data;
  // The PCs stay in registers across vector computations, which touch no scalar state; the
  // other instructions find them in RspCore.
  uint32_t pc = RspCore.pc;
  uint32_t nextPc = RspCore.nextPc;
  while ((Sp.status & (kSpStatusHalt | kSpStatusSingleStep)) == 0 && cycles < limit) {
    const uint32_t at = pc;
    const uint32_t w = PageWord(imem, at);
    pc = nextPc;
    nextPc = (nextPc + 4) & kPcMask;
    if ((w >> 25) == (0x12u << 1 | 1)) {
      ExecuteVectorOp(RspCore.vu, w);
    } else {
      RspCore.pc = pc;
      RspCore.nextPc = nextPc;
      Execute(w, at);
      RspCore.gpr[0] = 0;
      pc = RspCore.pc;
      nextPc = RspCore.nextPc;
    }
    ++cycles;
  }
  RspCore.pc = pc;
  RspCore.nextPc = nextPc;
}

}  // namespace vantor::rsp

namespace vantor {

void SetDpRegisterAccess(TDpRegisterRead read, TDpRegisterWrite write) {
  rsp::dpRead = read != nullptr ? read : rsp::NoDpRead;
  rsp::dpWrite = write != nullptr ? write : rsp::NoDpWrite;
}

}  // namespace vantor
