#include "core/Interpreter.h"

#include "common/AccurateOnly.h"
#include "common/DebugLog.h"
#include "common/HexText.h"
#include "core/Cop0.h"
#include "core/Cop1.h"
#include "core/CpuState.h"
#include "core/InstrFields.h"
#include "core/Instructions.h"

namespace vantor {

namespace {

void Special(uint32_t w) {
  SpecialTable[Funct(w)](w);
}
void RegImm(uint32_t w) {
  RegImmTable[Rt(w)](w);
}

using namespace ops;
constexpr OpcodeHandler kIll = IllegalOpcode;
constexpr OpcodeHandler kUnimp = UnimplementedOpcode;
constexpr OpcodeHandler kIllS = IllegalSpecial;
constexpr OpcodeHandler kUnimpS = UnimplementedSpecial;
constexpr OpcodeHandler kUnimpR = UnimplementedRegImm;

}  // namespace

// clang-format off
const OpcodeHandler OpcodeTable[64] = {
  Special, RegImm, J,      JAL,    BEQ,    BNE,    BLEZ,   BGTZ,
  ADDI,    ADDIU,  SLTI,   SLTIU,  ANDI,   ORI,    XORI,   LUI,
  Cop0Op,  Cop1Op, kIll,   kIll,   BEQL,   BNEL,   BLEZL,  BGTZL,
  DADDI,   DADDIU, kUnimp, kUnimp, kIll,   kIll,   kIll,   kIll,
  LB,      LH,     LWL,    LW,     LBU,    LHU,    LWR,    LWU,
  SB,      SH,     SWL,    SW,     kUnimp, kUnimp, SWR,    CACHE,
  kUnimp,  LWC1,   kIll,   kIll,   kUnimp, LDC1,   kUnimp, LD,
  kUnimp,  SWC1,   kIll,   kIll,   kUnimp, kUnimp, kUnimp, SD,
};

const OpcodeHandler SpecialTable[64] = {
  SLL,     kIllS,   SRL,     SRA,     SLLV,    kIllS,   SRLV,    SRAV,
  JR,      JALR,    kIllS,   kIllS,   kUnimpS, kUnimpS, kIllS,   kUnimpS,
  MFHI,    MTHI,    MFLO,    MTLO,    DSLLV,   kIllS,   DSRLV,   DSRAV,
  MULT,    MULTU,   DIV,     DIVU,    DMULT,   DMULTU,  DDIV,    DDIVU,
  ADD,     ADDU,    SUB,     SUBU,    AND,     OR,      XOR,     NOR,
  kIllS,   kIllS,   SLT,     SLTU,    DADD,    DADDU,   DSUB,    DSUBU,
  kUnimpS, kUnimpS, kUnimpS, kUnimpS, kUnimpS, kIllS,   kUnimpS, kIllS,
  DSLL,    kIllS,   DSRL,    DSRA,    DSLL32,  kIllS,   DSRL32,  DSRA32,
};

// The REGIMM group has no illegal handler: undefined codes report as not implemented.
const OpcodeHandler RegImmTable[32] = {
  BLTZ,    BGEZ,    BLTZL,   BGEZL,   kUnimpR, kUnimpR, kUnimpR, kUnimpR,
  kUnimpR, kUnimpR, kUnimpR, kUnimpR, kUnimpR, kUnimpR, kUnimpR, kUnimpR,
  BLTZAL,  BGEZAL,  BLTZALL, BGEZALL, kUnimpR, kUnimpR, kUnimpR, kUnimpR,
  kUnimpR, kUnimpR, kUnimpR, kUnimpR, kUnimpR, kUnimpR, kUnimpR, kUnimpR,
};
// clang-format on

void IllegalOpcode(uint32_t) {
  DbgAddLine("Illegal CPU opcode at " + Hex8(PC.Lo));
}

void IllegalSpecial(uint32_t) {
  DbgAddLine("Illegal Special CPU opcode at " + Hex8(PC.Lo));
}

namespace {

// The opcodes the accurate mode's processor runs that the default one reports.
const char* AccurateOnlyOpcode(uint32_t op) {
  switch (op) {
    case 0x1A:
      return "the instruction LDL";
    case 0x1B:
      return "the instruction LDR";
    case 0x2C:
      return "the instruction SDL";
    case 0x2D:
      return "the instruction SDR";
    case 0x30:
      return "the instruction LL";
    case 0x34:
      return "the instruction LLD";
    case 0x38:
      return "the instruction SC";
    case 0x3C:
      return "the instruction SCD";
    case 0x3D:
      return "the instruction SDC1";
    default:
      return nullptr;
  }
}

constexpr uint32_t kSyncFunct = 0x0F;

}  // namespace

void UnimplementedOpcode(uint32_t w) {
  if (const char* name = AccurateOnlyOpcode(Op(w))) NoteAccurateOnlyHardware(name);
  DbgAddLine("Unimplemented opcode at " + Hex8(PC.Lo));
  DbgAddLine("Opcode " + Hex2(Op(w)));
}

void UnimplementedSpecial(uint32_t w) {
  if (Funct(w) == kSyncFunct) NoteAccurateOnlyHardware("the instruction SYNC");
  DbgAddLine("Unimplemented Special opcode at " + Hex8(PC.Lo));
  DbgAddLine("Opcode " + Hex2(Funct(w)));
}

void UnimplementedRegImm(uint32_t w) {
  DbgAddLine("Unimplemented RegImm opcode at " + Hex8(PC.Lo));
  DbgAddLine("Opcode " + Hex2(Rt(w)));
}

}  // namespace vantor
