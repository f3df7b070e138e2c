#include "core/FastOps.h"

#include <algorithm>
#include <iterator>

#include "core/Cop0.h"
#include "core/FastHandlers.h"
#include "core/InstrFields.h"
#include "core/Instructions.h"

namespace vantor::fast {

uint64_t DiscardedWrite;

namespace {

// How an instruction's fields become the entry's operands.
enum class TForm : uint8_t {
  RegReg,        // rd = f(rs, rt)
  RegSignedImm,  // rt = f(rs, simm)
  RegImm,        // rt = f(rs, imm)
  Shift,         // rd = f(rt, sa)
  Shift32,       // rd = f(rt, sa + 32)
  MulDiv,        // LO/HI = f(rs, rt)
  MoveFrom,      // rd = f(LO/HI)
  Load,          // rt = memory[rs + simm]
  Store,         // memory[rs + simm] = rt
  Branch,        // on rs and rt, to PC + 4 + simm * 4
  Jump,          // to the 256 MB region's target
  JumpLink,      // to the region's target, linking r31
  JumpReg,       // to rs
  JumpRegLink,   // to rs, linking rd
  MoveToCop1,    // fs = rt, read through t
  MoveFromCop1,  // rt = fs
};

struct TFastForm {
  OpcodeHandler exact;
  THandlers fast;
  TForm form;
};

// clang-format off
constexpr TFastForm kFastForms[] = {
  {ops::ADD, kFollowingHandlers<RegReg<sem::Add32>>, TForm::RegReg},
  {ops::ADDU, kFollowingHandlers<RegReg<sem::Add32>>, TForm::RegReg},
  {ops::SUB, kFollowingHandlers<RegReg<sem::Sub32>>, TForm::RegReg},
  {ops::SUBU, kFollowingHandlers<RegReg<sem::Sub32>>, TForm::RegReg},
  {ops::AND, kFollowingHandlers<RegReg<sem::And>>, TForm::RegReg},
  {ops::OR, kFollowingHandlers<RegReg<sem::Or>>, TForm::RegReg},
  {ops::XOR, kFollowingHandlers<RegReg<sem::Xor>>, TForm::RegReg},
  {ops::NOR, kFollowingHandlers<RegReg<sem::Nor>>, TForm::RegReg},
  {ops::SLT, kFollowingHandlers<RegReg<sem::LessSigned>>, TForm::RegReg},
  {ops::SLTU, kFollowingHandlers<RegReg<sem::LessUnsigned>>, TForm::RegReg},
  {ops::DADD, kFollowingHandlers<RegReg<sem::Add64>>, TForm::RegReg},
  {ops::DADDU, kFollowingHandlers<RegReg<sem::Add64>>, TForm::RegReg},
  {ops::DSUB, kFollowingHandlers<RegReg<sem::Sub64>>, TForm::RegReg},
  {ops::DSUBU, kFollowingHandlers<RegReg<sem::Sub64>>, TForm::RegReg},
  {ops::SLLV, kFollowingHandlers<RegReg<sem::ShiftLeftVar32>>, TForm::RegReg},
  {ops::SRLV, kFollowingHandlers<RegReg<sem::ShiftRightVar32>>, TForm::RegReg},
  {ops::SRAV, kFollowingHandlers<RegReg<sem::ShiftArithVar32>>, TForm::RegReg},
  {ops::DSLLV, kFollowingHandlers<RegReg<sem::ShiftLeftVar64>>, TForm::RegReg},
  {ops::DSRLV, kFollowingHandlers<RegReg<sem::ShiftRightVar64>>, TForm::RegReg},
  {ops::DSRAV, kFollowingHandlers<RegReg<sem::ShiftArithVar64>>, TForm::RegReg},
  {ops::ADDI, kFollowingHandlers<RegImm<sem::AddImm32>>, TForm::RegSignedImm},
  {ops::ADDIU, kFollowingHandlers<RegImm<sem::AddImm32>>, TForm::RegSignedImm},
  {ops::SLTI, kFollowingHandlers<RegImm<sem::LessSigned>>, TForm::RegSignedImm},
  {ops::SLTIU, kFollowingHandlers<RegImm<sem::LessUnsigned>>, TForm::RegSignedImm},
  {ops::DADDI, kFollowingHandlers<RegImm<sem::Add64>>, TForm::RegSignedImm},
  {ops::DADDIU, kFollowingHandlers<RegImm<sem::Add64>>, TForm::RegSignedImm},
  {ops::ANDI, kFollowingHandlers<RegImm<sem::AndImm>>, TForm::RegImm},
  {ops::ORI, kFollowingHandlers<RegImm<sem::Or>>, TForm::RegImm},
  {ops::XORI, kFollowingHandlers<RegImm<sem::Xor>>, TForm::RegImm},
  {ops::LUI, kFollowingHandlers<RegImm<sem::LoadUpper>>, TForm::RegImm},
  {ops::SLL, kFollowingHandlers<ShiftSa<sem::ShiftLeft32>>, TForm::Shift},
  {ops::SRL, kFollowingHandlers<ShiftSa<sem::ShiftRight32>>, TForm::Shift},
  {ops::SRA, kFollowingHandlers<ShiftSa<sem::ShiftArith32>>, TForm::Shift},
  {ops::DSLL, kFollowingHandlers<ShiftSa<sem::ShiftLeft64>>, TForm::Shift},
  {ops::DSRL, kFollowingHandlers<ShiftSa<sem::ShiftRight64>>, TForm::Shift},
  {ops::DSRA, kFollowingHandlers<ShiftSa<sem::ShiftArith64>>, TForm::Shift},
  {ops::DSLL32, kFollowingHandlers<ShiftSa<sem::ShiftLeft64>>, TForm::Shift32},
  {ops::DSRL32, kFollowingHandlers<ShiftSa<sem::ShiftRight64>>, TForm::Shift32},
  {ops::DSRA32, kFollowingHandlers<ShiftSa<sem::ShiftArith64>>, TForm::Shift32},
  {ops::MULT, kFollowingHandlers<MulDiv<sem::Mult>>, TForm::MulDiv},
  {ops::MULTU, kFollowingHandlers<MulDiv<sem::MultU>>, TForm::MulDiv},
  {ops::DIV, kFollowingHandlers<MulDiv<sem::Div>>, TForm::MulDiv},
  {ops::DIVU, kFollowingHandlers<MulDiv<sem::DivU>>, TForm::MulDiv},
  {ops::DMULT, kFollowingHandlers<MulDiv<sem::Mult64>>, TForm::MulDiv},
  {ops::DMULTU, kFollowingHandlers<MulDiv<sem::Mult64>>, TForm::MulDiv},
  {ops::MFHI, kFollowingHandlers<MoveFrom<sem::FromHi>>, TForm::MoveFrom},
  {ops::MFLO, kFollowingHandlers<MoveFrom<sem::FromLo>>, TForm::MoveFrom},
  {ops::LB, kHandlers<Load<sem::LoadByte<TPlainRead>>>, TForm::Load},
  {ops::LBU, kHandlers<Load<sem::LoadByteU<TPlainRead>>>, TForm::Load},
  {ops::LH, kHandlers<Load<sem::LoadHalf<TPlainRead>>>, TForm::Load},
  {ops::LHU, kHandlers<Load<sem::LoadHalfU<TPlainRead>>>, TForm::Load},
  {ops::LW, kHandlers<Load<sem::LoadWord<TPlainRead>>>, TForm::Load},
  {ops::LWU, kHandlers<Load<sem::LoadWordU<TPlainRead>>>, TForm::Load},
  {ops::LD, kHandlers<Load<sem::LoadDouble<TPlainRead>>>, TForm::Load},
  {ops::SB, kHandlers<Store<sem::StoreByte>>, TForm::Store},
  {ops::SH, kHandlers<Store<sem::StoreHalf>>, TForm::Store},
  {ops::SW, kHandlers<Store<StoreWord>>, TForm::Store},
  {ops::SD, kHandlers<Store<StoreDouble>>, TForm::Store},
  {ops::BEQ, kHandlers<Branch<sem::Equal>>, TForm::Branch},
  {ops::BNE, kHandlers<Branch<sem::NotEqual>>, TForm::Branch},
  {ops::BLEZ, kHandlers<Branch<sem::AtMostZero>>, TForm::Branch},
  {ops::BGTZ, kHandlers<Branch<sem::AboveZero>>, TForm::Branch},
  {ops::BLTZ, kHandlers<Branch<sem::BelowZero>>, TForm::Branch},
  {ops::BGEZ, kHandlers<Branch<sem::AtLeastZero>>, TForm::Branch},
  {ops::BEQL, kHandlers<BranchLikely<sem::Equal>>, TForm::Branch},
  {ops::BNEL, kHandlers<BranchLikely<sem::NotEqual>>, TForm::Branch},
  {ops::BLEZL, kHandlers<BranchLikely<sem::AtMostZero>>, TForm::Branch},
  {ops::BGTZL, kHandlers<BranchLikely<sem::AboveZero>>, TForm::Branch},
  {ops::BLTZL, kHandlers<BranchLikely<sem::BelowZero>>, TForm::Branch},
  {ops::BGEZL, kHandlers<BranchLikely<sem::AtLeastZero>>, TForm::Branch},
  {ops::BLTZAL, kHandlers<BranchLink<sem::BelowZero>>, TForm::Branch},
  {ops::BGEZAL, kHandlers<BranchLink<sem::AtLeastZero>>, TForm::Branch},
  {ops::BLTZALL, kHandlers<BranchLinkLikely<sem::BelowZero>>, TForm::Branch},
  {ops::BGEZALL, kHandlers<BranchLinkLikely<sem::AtLeastZero>>, TForm::Branch},
  {ops::J, kHandlers<Jump>, TForm::Jump},
  {ops::JAL, kHandlers<JumpLink>, TForm::JumpLink},
  {ops::JR, kHandlers<JumpRegister>, TForm::JumpReg},
  {ops::JALR, kHandlers<JumpRegisterLink>, TForm::JumpRegLink},
  {cop1::MTC1, kFollowingHandlers<MoveToCop1>, TForm::MoveToCop1},
  {cop1::MFC1, kFollowingHandlers<MoveFromCop1>, TForm::MoveFromCop1},
  {cop1::BC1F, kHandlers<Branch<Cop1False>>, TForm::Branch},
  {cop1::BC1T, kHandlers<Branch<Cop1True>>, TForm::Branch},
  {cop1::BC1FL, kHandlers<BranchLikely<Cop1False>>, TForm::Branch},
  {cop1::BC1TL, kHandlers<BranchLikely<Cop1True>>, TForm::Branch},
};

// COP1 arithmetic, compares and conversions by handler and format (S 0, D 1, W 4, L 5: fmt and
// 5), with whether fd and fs name a double's pair (ft is in fs's precision). The other forms run
// through their single-step handler.
struct TFloatForm {
  OpcodeHandler exact;
  uint32_t format;
  THandlers fast;
  bool pairD;
  bool pairS;
};

template <fpu::Step F>
constexpr THandlers kFloat = kFollowingHandlers<Float<F>>;

constexpr TFloatForm kFloatForms[] = {
  {cop1::ADD, 0, kFloat<fpu::ArithS<fpu::Add>>, false, false},
  {cop1::ADD, 1, kFloat<fpu::ArithD<fpu::Add>>, true, true},
  {cop1::SUB, 0, kFloat<fpu::ArithS<fpu::Sub>>, false, false},
  {cop1::SUB, 1, kFloat<fpu::ArithD<fpu::Sub>>, true, true},
  {cop1::MUL, 0, kFloat<fpu::ArithS<fpu::Mul>>, false, false},
  {cop1::MUL, 1, kFloat<fpu::ArithD<fpu::Mul>>, true, true},
  {cop1::DIV, 0, kFloat<fpu::ArithS<fpu::Div>>, false, false},
  {cop1::DIV, 1, kFloat<fpu::ArithD<fpu::Div>>, true, true},
  {cop1::SQRT, 0, kFloat<fpu::UnaryS<fpu::Sqrt>>, false, false},
  {cop1::SQRT, 1, kFloat<fpu::UnaryD<fpu::Sqrt>>, true, true},
  {cop1::NEG, 0, kFloat<fpu::UnaryS<fpu::Neg>>, false, false},
  {cop1::NEG, 1, kFloat<fpu::UnaryD<fpu::Neg>>, true, true},
  {cop1::MOV, 0, kFloat<fpu::MoveS>, false, false},
  {cop1::MOV, 1, kFloat<fpu::MoveD>, true, true},
  {cop1::C_EQ, 0, kFloat<fpu::CompareS<fpu::Equal>>, false, false},
  {cop1::C_EQ, 1, kFloat<fpu::CompareD<fpu::Equal>>, true, true},
  {cop1::C_LT, 0, kFloat<fpu::CompareS<fpu::Less>>, false, false},
  {cop1::C_LT, 1, kFloat<fpu::CompareD<fpu::Less>>, true, true},
  {cop1::C_LE, 0, kFloat<fpu::CompareS<fpu::LessEqual>>, false, false},
  {cop1::C_LE, 1, kFloat<fpu::CompareD<fpu::LessEqual>>, true, true},
  {cop1::TRUNC_W, 0, kFloat<fpu::TruncateS>, false, false},
  {cop1::TRUNC_W, 1, kFloat<fpu::TruncateD>, false, true},
  {cop1::CVT_W, 0, kFloat<fpu::TruncateS>, false, false},
  {cop1::CVT_W, 1, kFloat<fpu::TruncateD>, false, true},
  {cop1::CVT_S, 1, kFloat<fpu::SingleFromD>, false, true},
  {cop1::CVT_S, 4, kFloat<fpu::SingleFromW>, false, false},
  {cop1::CVT_D, 0, kFloat<fpu::DoubleFromS>, true, false},
  {cop1::CVT_D, 4, kFloat<fpu::DoubleFromW>, true, false},
};
// clang-format on

template <size_t N>
bool OneOf(OpcodeHandler handler, const OpcodeHandler (&set)[N]) {
  return std::find(std::begin(set), std::end(set), handler) != std::end(set);
}

// The handler a word reaches through the nested decode tables.
OpcodeHandler FinalHandler(uint32_t word) {
  switch (Op(word)) {
    case 0x00:
      return SpecialTable[Funct(word)];
    case 0x01:
      return RegImmTable[Rt(word)];
    case 0x11: {
      const uint32_t fmt = Fmt(word);
      if (fmt == 8) return Bc1Table[(word >> 16) & 3];
      if (fmt == 16 || fmt == 17 || fmt == 20 || fmt == 21) return Cop1FunctionTable[Funct(word)];
      return Cop1Table[fmt];
    }
    default:
      return OpcodeTable[Op(word)];
  }
}

using namespace ops;

constexpr OpcodeHandler kLoads[] = {LB, LBU, LH, LHU, LW, LWU, LWL, LWR, LD, LWC1, LDC1};
constexpr OpcodeHandler kStores[] = {SB, SH, SW, SD, SWC1};
constexpr OpcodeHandler kReadModifyWrites[] = {SWL, SWR};
constexpr OpcodeHandler kTransfers[] = {
    J,      JAL,    JR,      JALR,    BEQ,        BNE,        BLEZ,        BGTZ,
    BEQL,   BNEL,   BLEZL,   BGTZL,   BLTZ,       BGEZ,       BLTZL,       BGEZL,
    BLTZAL, BGEZAL, BLTZALL, BGEZALL, cop1::BC1F, cop1::BC1T, cop1::BC1FL, cop1::BC1TL,
};
// COP0 moves read and write COUNT, COMPARE, STATUS and CAUSE, and TLBWI remaps pages; the rest
// write console lines.
constexpr OpcodeHandler kSingleStepOnly[] = {
    Cop0Op,
    IllegalOpcode,
    UnimplementedOpcode,
    IllegalSpecial,
    UnimplementedSpecial,
    UnimplementedRegImm,
    DDIV,
    DDIVU,
    cop1::IllegalCop1,
    cop1::IllegalCop1Ex,
    cop1::UnimplementedCop1Ex,
    cop1::CVT_L,
};

uint32_t JumpDest(uint32_t word, uint32_t pc) {
  return ((pc + 4) & 0xF0000000) | Target(word) << 2;
}

uint16_t InPageTarget(uint32_t target, uint32_t pc) {
  const bool slotOnPage = ((pc + 4) >> 12) == (pc >> 12);
  if (!slotOnPage || (target >> 12) != (pc >> 12)) return kNoIndex;
  return static_cast<uint16_t>((target & 0xFFF) >> 2);
}

uint64_t* Destination(uint32_t reg) {
  return reg == 0 ? &DiscardedWrite : &Gpr[reg];
}

// Fills the operands of an instruction with its own fast handler.
void SetOperands(TFastOp& op, TForm form, uint32_t word, uint32_t pc) {
  op.s = &Gpr[Rs(word)];
  op.t = &Gpr[Rt(word)];
  switch (form) {
    case TForm::RegReg:
    case TForm::MoveFrom:
      op.d = Destination(Rd(word));
      break;
    case TForm::RegSignedImm:
    case TForm::Load:
    case TForm::Store:
      op.d = Destination(Rt(word));
      op.imm = SImm32(word);
      break;
    case TForm::RegImm:
      op.d = Destination(Rt(word));
      op.imm = Imm(word);
      break;
    case TForm::Shift:
      op.d = Destination(Rd(word));
      op.imm = Sa(word);
      break;
    case TForm::Shift32:
      op.d = Destination(Rd(word));
      op.imm = Sa(word) + 32;
      break;
    case TForm::MulDiv:
      break;
    case TForm::Branch:
      op.d = &Gpr[31];
      op.imm = pc + 8;
      op.target = pc + 4 + (SImm32(word) << 2);
      op.targetIndex = InPageTarget(op.target, pc);
      break;
    case TForm::Jump:
      op.target = JumpDest(word, pc);
      op.targetIndex = InPageTarget(op.target, pc);
      break;
    case TForm::JumpLink:
      op.d = &Gpr[31];
      op.imm = pc + 8;
      op.target = JumpDest(word, pc);
      op.targetIndex = InPageTarget(op.target, pc);
      break;
    case TForm::JumpReg:
      break;
    case TForm::JumpRegLink:
      op.d = Destination(Rd(word));
      op.imm = pc + 8;
      break;
    case TForm::MoveToCop1:
      op.fd = &Cop1Regs[Fs(word)];
      break;
    case TForm::MoveFromCop1:
      op.d = Destination(Rt(word));
      op.fs = &Cop1Regs[Fs(word)];
      break;
  }
}

// The instructions whose single-step handler is the same in the accurate mode's decode tables:
// their fast entries serve both machines. J is among them but for its jump to itself, which the
// accurate mode's decoder runs as a single step.
constexpr OpcodeHandler kShared[] = {
    ADDU,  SUBU,   AND,    OR,      XOR,     NOR,   SLT,  SLTU,  DADDU,  DSUBU,  SLLV,
    SRLV,  SRAV,   DSLLV,  DSRLV,   DSRAV,   ADDIU, SLTI, SLTIU, DADDIU, ANDI,   ORI,
    XORI,  LUI,    SLL,    SRL,     SRA,     DSLL,  DSRL, DSRA,  DSLL32, DSRL32, DSRA32,
    BEQ,   BNE,    BLEZ,   BGTZ,    BLTZ,    BGEZ,  BEQL, BNEL,  BLEZL,  BGTZL,  BLTZL,
    BGEZL, BLTZAL, BGEZAL, BLTZALL, BGEZALL, J,     JAL,  JR,    JALR,
};

}  // namespace

TFastOp BlankEntry(uint32_t word) {
  TFastOp op{};
  op.word = word;
  op.d = &DiscardedWrite;
  op.s = &Gpr[0];
  op.t = &Gpr[0];
  op.targetIndex = kNoIndex;
  return op;
}

bool DecodeShared(TFastOp& op, uint32_t word, uint32_t pc, bool accurate) {
  const OpcodeHandler handler = FinalHandler(word);
  if (!OneOf(handler, kShared)) return false;
  const auto own = std::find_if(std::begin(kFastForms), std::end(kFastForms),
                                [handler](const TFastForm& f) { return f.exact == handler; });
  op.transfer = OneOf(handler, kTransfers);
  Set(op, own->fast, pc, accurate);
  SetOperands(op, own->form, word, pc);
  return true;
}

}  // namespace vantor::fast

namespace vantor {

using namespace fast;

TFastOp DecodeFastOp(uint32_t word, uint32_t pc) {
  TFastOp op = BlankEntry(word);
  if (word == 0) {
    Set(op, kFollowingHandlers<Nop>, pc, false);
    return op;
  }
  const OpcodeHandler handler = FinalHandler(word);
  op.transfer = OneOf(handler, kTransfers);
  // A jump to itself counts the rest of the frame at once.
  if (OneOf(handler, kSingleStepOnly) || (handler == ops::J && JumpDest(word, pc) == pc)) {
    Set(op, kHandlers<Stop>, pc, false);
    return op;
  }
  if (Op(word) == 0x11) {
    const auto own = std::find_if(std::begin(kFloatForms), std::end(kFloatForms),
                                  [handler, word](const TFloatForm& f) {
                                    return f.exact == handler && f.format == (Fmt(word) & 5);
                                  });
    if (own != std::end(kFloatForms)) {
      auto reg = [](uint32_t r, bool pair) { return &Cop1Regs[pair ? r & 30 : r]; };
      Set(op, own->fast, pc, false);
      op.fd = reg(Fd(word), own->pairD);
      op.fs = reg(Fs(word), own->pairS);
      op.ft = reg(Ft(word), own->pairS);
      return op;
    }
  }
  const auto own = std::find_if(std::begin(kFastForms), std::end(kFastForms),
                                [handler](const TFastForm& f) { return f.exact == handler; });
  if (own != std::end(kFastForms)) {
    Set(op, own->fast, pc, false);
    SetOperands(op, own->form, word, pc);
    return op;
  }
  op.exact = handler;
  op.s = &Gpr[Rs(word)];
  op.imm = SImm32(word);
  if (op.transfer) {
    Set(op, kHandlers<ThroughTransfer>, pc, false);
    op.target = pc;
  } else if (OneOf(handler, kLoads)) {
    Set(op, kHandlers<ThroughLoad>, pc, false);
  } else if (OneOf(handler, kStores)) {
    Set(op, kHandlers<ThroughStore>, pc, false);
  } else if (OneOf(handler, kReadModifyWrites)) {
    Set(op, kHandlers<ThroughLoadStore>, pc, false);
  } else {
    Set(op, kFollowingHandlers<ThroughPlain>, pc, false);
  }
  return op;
}

}  // namespace vantor
