#include "debugger/RspDisassembler.h"

#include <array>
#include <initializer_list>
#include <string_view>

#include "common/HexText.h"
#include "core/InstrFields.h"
#include "core/RegisterNames.h"

namespace vantor {

namespace {

constexpr std::string_view kIllegal = "* ILLEGAL RSP OPCODE! *";

std::string Line(std::string_view name, std::initializer_list<std::string_view> operands) {
  std::string text(name);
  char separator = ' ';
  for (std::string_view operand : operands) {
    text += separator;
    text += operand;
    separator = ',';
  }
  return text;
}

std::string_view Gpr(uint32_t n) {
  return GprNames[n & 31];
}

std::string Vector(uint32_t n) {
  return "$V" + std::to_string(n & 31);
}

// The element field of a computational instruction as a suffix.
std::string ElementSuffix(uint32_t e) {
  static constexpr std::array<std::string_view, 16> kSuffixes = {
      "",    "[E1]", "[0Q]", "[1Q]", "[0H]", "[1H]", "[2H]", "[3H]",
      "[0]", "[1]",  "[2]",  "[3]",  "[4]",  "[5]",  "[6]",  "[7]"};
  return std::string(kSuffixes[e & 15]);
}

// A lane of a register, as the single-lane operations and the moves name it.
std::string VectorLane(uint32_t n, uint32_t lane) {
  return Vector(n) + "[" + std::to_string(lane) + "]";
}

// Branches and jumps wrap in IMEM, so the target keeps the address's bits above the 4 KB.
uint32_t InImem(uint32_t address, uint32_t target) {
  return (address & ~0xFFFu) | (target & 0xFFC);
}

// ---- COP0: the SP registers, then the display processor's ----

std::string Cop0Name(uint32_t n) {
  static constexpr std::array<std::string_view, 16> kNames = {
      "SP_MEM_ADDR", "SP_DRAM_ADDR", "SP_RD_LEN",    "SP_WR_LEN", "SP_STATUS",   "SP_DMA_FULL",
      "SP_DMA_BUSY", "SP_SEMAPHORE", "DPC_START",    "DPC_END",   "DPC_CURRENT", "DPC_STATUS",
      "DPC_CLOCK",   "DPC_BUFBUSY",  "DPC_PIPEBUSY", "DPC_TMEM"};
  return n < 16 ? std::string(kNames[n]) : "C0R" + std::to_string(n);
}

std::string Cop0(uint32_t w) {
  switch (Rs(w)) {
    case 0:
      return Line("MFC0", {Gpr(Rt(w)), Cop0Name(Rd(w))});
    case 4:
      return Line("MTC0", {Gpr(Rt(w)), Cop0Name(Rd(w))});
    default:
      return std::string(kIllegal);
  }
}

// ---- COP2 ----

std::string ControlName(uint32_t n) {
  static constexpr std::array<std::string_view, 3> kNames = {"VCO", "VCC", "VCE"};
  return n < 3 ? std::string(kNames[n]) : "VC" + std::to_string(n) + " ***";
}

// clang-format off
constexpr std::array<std::string_view, 64> kVectorNames = {
  "VMULF", "VMULU", "VRNDP", "VMULQ", "VMUDL", "VMUDM", "VMUDN", "VMUDH",
  "VMACF", "VMACU", "VRNDN", "VMACQ", "VMADL", "VMADM", "VMADN", "VMADH",
  "VADD", "VSUB", "", "VABS", "VADDC", "VSUBC", "", "",
  "", "", "", "", "", "VSAR", "", "",
  "VLT", "VEQ", "VNE", "VGE", "VCL", "VCH", "VCR", "VMRG",
  "VAND", "VNAND", "VOR", "VNOR", "VXOR", "VNXOR", "", "",
  "VRCP", "VRCPL", "VRCPH", "VMOV", "VRSQ", "VRSQL", "VRSQH", "VNOP",
  "", "", "", "", "", "", "", "",
};
// clang-format on

std::string VectorOperation(uint32_t w) {
  const uint32_t funct = Funct(w), e = Rs(w) & 15;
  const uint32_t vt = Rt(w), vs = Rd(w), vd = Sa(w);
  const std::string_view name = kVectorNames[funct];
  if (name.empty()) return std::string(kIllegal);
  if (funct == 0x37) return std::string(name);
  // The divide unit and VMOV: one lane of vd from one element of vt.
  if (funct >= 0x30) return Line(name, {VectorLane(vd, vs & 7), Vector(vt) + ElementSuffix(e)});
  // VSAR reads the accumulator slice its element field names into vd.
  if (funct == 0x1D) {
    static constexpr std::array<std::string_view, 3> kSlices = {"ACC_H", "ACC_M", "ACC_L"};
    const std::string slice =
        e >= 8 && e <= 10 ? std::string(kSlices[e - 8]) : "E" + std::to_string(e);
    return Line(name, {Vector(vd), slice});
  }
  return Line(name, {Vector(vd), Vector(vs), Vector(vt) + ElementSuffix(e)});
}

std::string Cop2(uint32_t w) {
  if (w & (1u << 25)) return VectorOperation(w);
  const uint32_t byte = (w >> 7) & 15;
  switch (Rs(w)) {
    case 0:
      return Line("MFC2", {Gpr(Rt(w)), VectorLane(Rd(w), byte)});
    case 2:
      return Line("CFC2", {Gpr(Rt(w)), ControlName(Rd(w))});
    case 4:
      return Line("MTC2", {Gpr(Rt(w)), VectorLane(Rd(w), byte)});
    case 6:
      return Line("CTC2", {Gpr(Rt(w)), ControlName(Rd(w))});
    default:
      return std::string(kIllegal);
  }
}

// LWC2 and SWC2: the sub-opcode in bits 15-11, the element (a byte) in 10-7 and a signed 7-bit
// offset in units of the access's size.
struct TVectorMemory {
  std::string_view load, store;
  uint32_t scale;
};
constexpr std::array<TVectorMemory, 12> kVectorMemory = {{
    {"LBV", "SBV", 1},
    {"LSV", "SSV", 2},
    {"LLV", "SLV", 4},
    {"LDV", "SDV", 8},
    {"LQV", "SQV", 16},
    {"LRV", "SRV", 16},
    {"LPV", "SPV", 8},
    {"LUV", "SUV", 8},
    {"LHV", "SHV", 16},
    {"LFV", "SFV", 16},
    {"", "SWV", 16},
    {"LTV", "STV", 16},
}};

std::string VectorMemory(uint32_t w, bool store) {
  const uint32_t sub = Rd(w);
  if (sub >= kVectorMemory.size()) return std::string(kIllegal);
  const TVectorMemory& entry = kVectorMemory[sub];
  const std::string_view name = store ? entry.store : entry.load;
  if (name.empty()) return std::string(kIllegal);
  const int32_t offset = static_cast<int32_t>((w & 0x7F) << 25) >> 25;
  const uint32_t bytes = static_cast<uint32_t>(offset) * entry.scale;
  return Line(name, {VectorLane(Rt(w), (w >> 7) & 15),
                     "(" + Hex8(bytes) + "," + std::string(Gpr(Rs(w))) + ")"});
}

// ---- The scalar unit ----

std::string MemoryOperand(uint32_t w) {
  return "(" + Hex8(SImm32(w)) + "," + std::string(Gpr(Rs(w))) + ")";
}

std::string Special(uint32_t w) {
  const std::string_view rd = Gpr(Rd(w)), rs = Gpr(Rs(w)), rt = Gpr(Rt(w));
  switch (Funct(w)) {
    case 0x00:
      return w == 0 ? "NOP" : Line("SLL", {rd, rt, Hex8(Sa(w))});
    case 0x02:
      return Line("SRL", {rd, rt, Hex8(Sa(w))});
    case 0x03:
      return Line("SRA", {rd, rt, Hex8(Sa(w))});
    case 0x04:
      return Line("SLLV", {rd, rt, rs});
    case 0x06:
      return Line("SRLV", {rd, rt, rs});
    case 0x07:
      return Line("SRAV", {rd, rt, rs});
    case 0x08:
      return Line("JR", {rs});
    case 0x09:
      return Line("JALR", {rd, rs});
    case 0x0D:
      return "BREAK";
    case 0x20:
      return Line("ADD", {rd, rs, rt});
    case 0x21:
      return Line("ADDU", {rd, rs, rt});
    case 0x22:
      return Line("SUB", {rd, rs, rt});
    case 0x23:
      return Line("SUBU", {rd, rs, rt});
    case 0x24:
      return Line("AND", {rd, rs, rt});
    case 0x25:
      return Line("OR", {rd, rs, rt});
    case 0x26:
      return Line("XOR", {rd, rs, rt});
    case 0x27:
      return Line("NOR", {rd, rs, rt});
    case 0x2A:
      return Line("SLT", {rd, rs, rt});
    case 0x2B:
      return Line("SLTU", {rd, rs, rt});
    default:
      return std::string(kIllegal);
  }
}

std::string Branch(std::string_view name, uint32_t w, uint32_t address, bool withRt) {
  const std::string target = Hex8(InImem(address, address + 4 + (SImm32(w) << 2)));
  if (withRt) return Line(name, {Gpr(Rs(w)), Gpr(Rt(w)), target});
  return Line(name, {Gpr(Rs(w)), target});
}

std::string RegImm(uint32_t w, uint32_t address) {
  switch (Rt(w)) {
    case 0x00:
      return Branch("BLTZ", w, address, false);
    case 0x01:
      return Branch("BGEZ", w, address, false);
    case 0x10:
      return Branch("BLTZAL", w, address, false);
    case 0x11:
      return Branch("BGEZAL", w, address, false);
    default:
      return std::string(kIllegal);
  }
}

}  // namespace

std::string DisasmRspOpcode(uint32_t w, uint32_t address) {
  const std::string_view rs = Gpr(Rs(w)), rt = Gpr(Rt(w));
  switch (Op(w)) {
    case 0x00:
      return Special(w);
    case 0x01:
      return RegImm(w, address);
    case 0x02:
      return Line("J", {Hex8(InImem(address, Target(w) << 2))});
    case 0x03:
      return Line("JAL", {Hex8(InImem(address, Target(w) << 2))});
    case 0x04:
      return Branch("BEQ", w, address, true);
    case 0x05:
      return Branch("BNE", w, address, true);
    case 0x06:
      return Branch("BLEZ", w, address, false);
    case 0x07:
      return Branch("BGTZ", w, address, false);
    case 0x08:
      return Line("ADDI", {rt, rs, Hex8(SImm32(w))});
    case 0x09:
      return Line("ADDIU", {rt, rs, Hex8(SImm32(w))});
    case 0x0A:
      return Line("SLTI", {rt, rs, Hex8(SImm32(w))});
    case 0x0B:
      return Line("SLTIU", {rt, rs, Hex8(SImm32(w))});
    case 0x0C:
      return Line("ANDI", {rt, rs, Hex8(Imm(w))});
    case 0x0D:
      return Line("ORI", {rt, rs, Hex8(Imm(w))});
    case 0x0E:
      return Line("XORI", {rt, rs, Hex8(Imm(w))});
    case 0x0F:
      return Line("LUI", {rt, Hex8(Imm(w))});
    case 0x10:
      return Cop0(w);
    case 0x12:
      return Cop2(w);
    case 0x20:
      return Line("LB", {rt, MemoryOperand(w)});
    case 0x21:
      return Line("LH", {rt, MemoryOperand(w)});
    case 0x23:
      return Line("LW", {rt, MemoryOperand(w)});
    case 0x24:
      return Line("LBU", {rt, MemoryOperand(w)});
    case 0x25:
      return Line("LHU", {rt, MemoryOperand(w)});
    case 0x28:
      return Line("SB", {rt, MemoryOperand(w)});
    case 0x29:
      return Line("SH", {rt, MemoryOperand(w)});
    case 0x2B:
      return Line("SW", {rt, MemoryOperand(w)});
    case 0x32:
      return VectorMemory(w, false);
    case 0x3A:
      return VectorMemory(w, true);
    default:
      return std::string(kIllegal);
  }
}

}  // namespace vantor
