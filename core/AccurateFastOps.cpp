// The block runner's entries for the accurate-hardware mode. The instructions both machines run
// alike take the default machine's entries (threaded for this mode); the mode's own take entries
// that compute as its single-step handlers do: HI and LO as two registers, overflow checks,
// loads and stores through the mode's address checks, COP1 only while it is usable. An entry
// that finds its instruction would raise an exception it can foresee (an overflow, a misaligned
// or unmapped access, an unusable coprocessor) returns kStopBefore, so the single step raises it;
// the rest run through the single-step handler and end the block when it raised one.
#include <algorithm>
#include <iterator>

#include "core/Accurate.h"
#include "core/AccurateExceptions.h"
#include "core/AccurateMemory.h"
#include "core/AccurateOps.h"
#include "core/FastHandlers.h"
#include "core/InstrFields.h"
#include "core/RegisterAccess.h"

namespace vantor {

using namespace fast;

namespace {

// Runs the instruction through a single-step handler of the mode, at its own address (target) for
// an exception's EPC. RaisedException tells whether it raised one; it keeps its value otherwise,
// as on the single step.
[[gnu::always_inline]] inline uint32_t RunHandler(OpcodeHandler handler, const TFastOp& op,
                                                  uint32_t index) {
  PC.Lo = op.target;
  const uint32_t last = RaisedException;
  RaisedException = kNoException;
  handler(op.word);
  Gpr[0] = 0;
  if (RaisedException != kNoException) [[unlikely]]
    return kRaised;
  RaisedException = last;
  return index + 1;
}

[[gnu::always_inline]] inline uint32_t Through(const TFastOp& op, uint32_t index) {
  return RunHandler(AccurateOpcodeTable[op.word >> 26], op, index);
}

bool Cop1Usable() {
  return (Cop0Regs[STATUS] & kStatusCU1) != 0;
}

// The rest of COP1 (arithmetic, conversions, compares, the control and double-word moves), which
// may raise the floating-point exception: straight to the handler Cop1Op would run (exact) while
// COP1 is usable.
[[gnu::always_inline]] inline uint32_t Cop1Through(const TFastOp& op, uint32_t index) {
  if (!Cop1Usable()) return kStopBefore;
  return RunHandler(op.exact, op, index);
}

// The 64-bit address of a load or store.
[[gnu::always_inline]] inline uint64_t DataAddress(const TFastOp& op) {
  return sem::EffectiveAddress(*op.s, Sext32(op.imm));
}

// Any other access: through the single-step handler when it reaches plain memory without an
// exception, else as a single step. The access is checked without side effects first.
template <TAccessKind kKind, uint32_t kSize, bool kReadsToo>
[[gnu::noinline]] uint32_t Translated(const TFastOp& op, uint32_t index) {
  const TAccess access = CheckAccess(DataAddress(op), kSize, kKind);
  if (!access.Mapped()) return kStopBefore;
  const uint32_t page = access.mapAddress >> 12;
  if ((kKind == TAccessKind::Load || kReadsToo) && ReadTable[page] != RamRead) return kStopBefore;
  if (kKind == TAccessKind::Store && WriteTable[page] != RamWrite) return kStopBefore;
  return Through(op, index);
}

// The kernel's aligned access to kseg0 or kseg1 (DirectKernelAccess), inline; a page that is not
// plain memory runs as a single step.
template <uint64_t (*F)(uint32_t, TPlainRead)>
[[gnu::always_inline]] inline uint32_t DirectLoad(const TFastOp& op, uint32_t index) {
  const auto address = static_cast<uint32_t>(DataAddress(op));
  const uint32_t page = address >> 12;
  if (ReadTable[page] != RamRead) return kStopBefore;
  *op.d = F(address & 0xFFF, TPlainRead{PageTable[page]});
  return index + 1;
}
template <Storer F>
[[gnu::always_inline]] inline uint32_t DirectStore(const TFastOp& op, uint32_t index) {
  const auto address = static_cast<uint32_t>(DataAddress(op));
  const uint32_t page = address >> 12;
  if (WriteTable[page] != RamWrite) return kStopBefore;
  F(PageTable[page], address & 0xFFF, *op.t);
  return index + 1;
}

// A load or store: the direct access, or the checked one.
template <TFastHandler kDirect, TFastHandler kChecked, uint32_t kSize>
[[gnu::always_inline]] inline uint32_t Access(const TFastOp& op, uint32_t index) {
  if (DirectKernelAccess(DataAddress(op), kSize)) [[likely]]
    return kDirect(op, index);
  return kChecked(op, index);
}
// Its threaded form chooses between the two threaded handlers, so that the direct path, which
// calls nothing, keeps no stack frame for the checked one's calls.
template <TFastHandler kDirect, TFastHandler kChecked, uint32_t kSize>
uint32_t ThreadedAccess(const TFastOp& op, uint32_t index, TBlockRun& run, uint32_t left) {
  if (DirectKernelAccess(DataAddress(op), kSize)) [[likely]]
    return Threaded<kDirect, false, true>(op, index, run, left);
  return Threaded<kChecked, false, true>(op, index, run, left);
}
template <TFastHandler kDirect, TFastHandler kChecked, uint32_t kSize>
constexpr THandlers kAccessHandlers{
    Access<kDirect, kChecked, kSize>,
    {{nullptr, nullptr},  // the accurate mode's alone
     {ThreadedAccess<kDirect, kChecked, kSize>, ThreadedAccess<kDirect, kChecked, kSize>}}};

template <uint64_t (*F)(uint32_t, TPlainRead), uint32_t kSize>
constexpr THandlers kLoad =
    kAccessHandlers<DirectLoad<F>, Translated<TAccessKind::Load, kSize, false>, kSize>;
template <Storer F, uint32_t kSize>
constexpr THandlers kStore =
    kAccessHandlers<DirectStore<F>, Translated<TAccessKind::Store, kSize, false>, kSize>;

// The unaligned forms, LL/SC and the like: the access checked, then the single-step handler.
template <TAccessKind kKind, uint32_t kSize, bool kReadsToo>
[[gnu::always_inline]] inline uint32_t Checked(const TFastOp& op, uint32_t index) {
  return Translated<kKind, kSize, kReadsToo>(op, index);
}
template <TAccessKind kKind, uint32_t kSize>
[[gnu::always_inline]] inline uint32_t Cop1Access(const TFastOp& op, uint32_t index) {
  if (!Cop1Usable()) return kStopBefore;
  return Translated<kKind, kSize, false>(op, index);
}

// Signed arithmetic that traps on overflow: the single step raises it.
template <bool kImmediate, bool kSubtract>
[[gnu::always_inline]] inline uint32_t Checked32(const TFastOp& op, uint32_t index) {
  const uint32_t a = LowWord(*op.s);
  const uint32_t b = kImmediate ? op.imm : LowWord(*op.t);
  const uint32_t result = kSubtract ? a - b : a + b;
  const uint32_t overflow = kSubtract ? (a ^ b) & (a ^ result) : (a ^ result) & (b ^ result);
  if ((overflow >> 31) != 0) return kStopBefore;
  *op.d = Sext32(result);
  return index + 1;
}
template <bool kImmediate, bool kSubtract>
[[gnu::always_inline]] inline uint32_t Checked64(const TFastOp& op, uint32_t index) {
  const uint64_t a = *op.s;
  const uint64_t b = kImmediate ? Sext32(op.imm) : *op.t;
  const uint64_t result = kSubtract ? a - b : a + b;
  const uint64_t overflow = kSubtract ? (a ^ b) & (a ^ result) : (a ^ result) & (b ^ result);
  if ((overflow >> 63) != 0) return kStopBefore;
  *op.d = result;
  return index + 1;
}

// The 32-bit multiplies and divides leave both halves sign-extended in HI and LO.
template <Binary F>
[[gnu::always_inline]] inline uint32_t MulDiv32(const TFastOp& op, uint32_t index) {
  const uint64_t loHi = F(*op.s, *op.t);
  AccurateHi = Sext32(HighWord(loHi));
  AccurateLo = Sext32(LowWord(loHi));
  return index + 1;
}
template <uint64_t* kRegister>
[[gnu::always_inline]] inline uint32_t MoveFromHiLo(const TFastOp& op, uint32_t index) {
  *op.d = *kRegister;
  return index + 1;
}
template <uint64_t* kRegister>
[[gnu::always_inline]] inline uint32_t MoveToHiLo(const TFastOp& op, uint32_t index) {
  *kRegister = *op.s;
  return index + 1;
}

// COP1's moves and branches, as the default machine's while COP1 is usable.
template <TFastHandler H>
[[gnu::always_inline]] inline uint32_t WhileCop1Usable(const TFastOp& op, uint32_t index) {
  if (!Cop1Usable()) return kStopBefore;
  return H(op, index);
}

// How an entry's operands are found.
enum class TOperands : uint8_t {
  RegReg,        // rd, rs, rt
  RegSignedImm,  // rt, rs, the sign-extended immediate
  Memory,        // rt (loaded or stored), rs, the sign-extended offset
  FromCop1,      // rt = fs
  ToCop1,        // fs = rt
};

struct TAccurateForm {
  uint32_t op;  // the primary opcode; SPECIAL (0) by funct, COP1 (0x11) by its rs field
  uint32_t function;
  THandlers fast;
  TOperands operands;
};

constexpr uint32_t kAny = 0xFF;

// clang-format off
constexpr TAccurateForm kForms[] = {
  {0x00, 0x20, kHandlers<Checked32<false, false>>, TOperands::RegReg},  // ADD
  {0x00, 0x22, kHandlers<Checked32<false, true>>, TOperands::RegReg},   // SUB
  {0x00, 0x2C, kHandlers<Checked64<false, false>>, TOperands::RegReg},  // DADD
  {0x00, 0x2E, kHandlers<Checked64<false, true>>, TOperands::RegReg},   // DSUB
  {0x08, kAny, kHandlers<Checked32<true, false>>, TOperands::RegSignedImm},  // ADDI
  {0x18, kAny, kHandlers<Checked64<true, false>>, TOperands::RegSignedImm},  // DADDI
  {0x00, 0x18, kFollowingHandlers<MulDiv32<sem::Mult>>, TOperands::RegReg},
  {0x00, 0x19, kFollowingHandlers<MulDiv32<sem::MultU>>, TOperands::RegReg},
  {0x00, 0x1A, kFollowingHandlers<MulDiv32<sem::Div>>, TOperands::RegReg},
  {0x00, 0x1B, kFollowingHandlers<MulDiv32<sem::DivU>>, TOperands::RegReg},
  {0x00, 0x10, kFollowingHandlers<MoveFromHiLo<&AccurateHi>>, TOperands::RegReg},
  {0x00, 0x12, kFollowingHandlers<MoveFromHiLo<&AccurateLo>>, TOperands::RegReg},
  {0x00, 0x11, kFollowingHandlers<MoveToHiLo<&AccurateHi>>, TOperands::RegReg},
  {0x00, 0x13, kFollowingHandlers<MoveToHiLo<&AccurateLo>>, TOperands::RegReg},
  {0x20, kAny, kLoad<sem::LoadByte<TPlainRead>, 1>, TOperands::Memory},
  {0x24, kAny, kLoad<sem::LoadByteU<TPlainRead>, 1>, TOperands::Memory},
  {0x21, kAny, kLoad<sem::LoadHalf<TPlainRead>, 2>, TOperands::Memory},
  {0x25, kAny, kLoad<sem::LoadHalfU<TPlainRead>, 2>, TOperands::Memory},
  {0x23, kAny, kLoad<sem::LoadWord<TPlainRead>, 4>, TOperands::Memory},
  {0x27, kAny, kLoad<sem::LoadWordU<TPlainRead>, 4>, TOperands::Memory},
  {0x37, kAny, kLoad<sem::LoadDouble<TPlainRead>, 8>, TOperands::Memory},
  {0x28, kAny, kStore<sem::StoreByte, 1>, TOperands::Memory},
  {0x29, kAny, kStore<sem::StoreHalf, 2>, TOperands::Memory},
  {0x2B, kAny, kStore<StoreWord, 4>, TOperands::Memory},
  {0x3F, kAny, kStore<StoreDouble, 8>, TOperands::Memory},
  {0x22, kAny, kHandlers<Checked<TAccessKind::Load, 1, false>>, TOperands::Memory},   // LWL
  {0x26, kAny, kHandlers<Checked<TAccessKind::Load, 1, false>>, TOperands::Memory},   // LWR
  {0x1A, kAny, kHandlers<Checked<TAccessKind::Load, 1, false>>, TOperands::Memory},   // LDL
  {0x1B, kAny, kHandlers<Checked<TAccessKind::Load, 1, false>>, TOperands::Memory},   // LDR
  {0x30, kAny, kHandlers<Checked<TAccessKind::Load, 4, false>>, TOperands::Memory},   // LL
  {0x34, kAny, kHandlers<Checked<TAccessKind::Load, 8, false>>, TOperands::Memory},   // LLD
  {0x2A, kAny, kHandlers<Checked<TAccessKind::Store, 1, true>>, TOperands::Memory},   // SWL
  {0x2E, kAny, kHandlers<Checked<TAccessKind::Store, 1, true>>, TOperands::Memory},   // SWR
  {0x2C, kAny, kHandlers<Checked<TAccessKind::Store, 1, true>>, TOperands::Memory},   // SDL
  {0x2D, kAny, kHandlers<Checked<TAccessKind::Store, 1, true>>, TOperands::Memory},   // SDR
  {0x38, kAny, kHandlers<Checked<TAccessKind::Store, 4, false>>, TOperands::Memory},  // SC
  {0x3C, kAny, kHandlers<Checked<TAccessKind::Store, 8, false>>, TOperands::Memory},  // SCD
  {0x31, kAny, kHandlers<Cop1Access<TAccessKind::Load, 4>>, TOperands::Memory},   // LWC1
  {0x35, kAny, kHandlers<Cop1Access<TAccessKind::Load, 8>>, TOperands::Memory},   // LDC1
  {0x39, kAny, kHandlers<Cop1Access<TAccessKind::Store, 4>>, TOperands::Memory},  // SWC1
  {0x3D, kAny, kHandlers<Cop1Access<TAccessKind::Store, 8>>, TOperands::Memory},  // SDC1
  {0x11, 0x00, kHandlers<WhileCop1Usable<MoveFromCop1>>, TOperands::FromCop1},  // MFC1
  {0x11, 0x04, kHandlers<WhileCop1Usable<MoveToCop1>>, TOperands::ToCop1},    // MTC1
};

// BC1F, BC1T, BC1FL, BC1TL by bits 17-16.
constexpr THandlers kCop1Branches[] = {
  kHandlers<WhileCop1Usable<Branch<Cop1False>>>,
  kHandlers<WhileCop1Usable<Branch<Cop1True>>>,
  kHandlers<WhileCop1Usable<BranchLikely<Cop1False>>>,
  kHandlers<WhileCop1Usable<BranchLikely<Cop1True>>>,
};
// clang-format on

const TAccurateForm* FormOf(uint32_t word) {
  const uint32_t op = Op(word);
  const uint32_t function = op == 0x00 ? Funct(word) : op == 0x11 ? Rs(word) : kAny;
  const auto form = std::find_if(std::begin(kForms), std::end(kForms), [&](const TAccurateForm& f) {
    return f.op == op && f.function == function;
  });
  return form == std::end(kForms) ? nullptr : form;
}

uint64_t* Destination(uint32_t reg) {
  return reg == 0 ? &DiscardedWrite : &Gpr[reg];
}

void SetOperands(TFastOp& op, TOperands operands, uint32_t word) {
  op.s = &Gpr[Rs(word)];
  op.t = &Gpr[Rt(word)];
  switch (operands) {
    case TOperands::RegReg:
      op.d = Destination(Rd(word));
      break;
    case TOperands::RegSignedImm:
    case TOperands::Memory:
      op.d = Destination(Rt(word));
      op.imm = SImm32(word);
      break;
    case TOperands::FromCop1:
      op.d = Destination(Rt(word));
      op.fs = &Cop1Regs[Fs(word)];
      break;
    case TOperands::ToCop1:
      op.fd = &Cop1Regs[Fs(word)];
      break;
  }
}

// The instructions that touch the clock, the interrupts, COP0 or the TLB run as single steps:
// every COP0 instruction (MTC0, TLBWI, ERET...), CACHE, and J to itself, the idle loop that moves
// the clock on to the next event.
bool SingleStepOnly(uint32_t word, uint32_t pc) {
  const uint32_t op = Op(word);
  if (op == 0x10 || op == 0x2F) return true;
  return op == 0x02 && (((pc + 4) & 0xF0000000) | Target(word) << 2) == pc;
}

}  // namespace

TFastOp DecodeAccurateFastOp(uint32_t word, uint32_t pc) {
  TFastOp op = BlankEntry(word);
  if (word == 0) {
    Set(op, kFollowingHandlers<Nop>, pc, true);
    return op;
  }
  if (SingleStepOnly(word, pc)) {
    Set(op, kHandlers<Stop>, pc, true);
    return op;
  }
  if (Op(word) == 0x11 && Rs(word) == 8) {  // BC1
    Set(op, kCop1Branches[Rt(word) & 3], pc, true);
    op.transfer = true;
    op.d = &Gpr[31];
    op.imm = pc + 8;
    op.target = pc + 4 + (SImm32(word) << 2);
    const bool slotOnPage = ((pc + 4) >> 12) == (pc >> 12);
    if (slotOnPage && (op.target >> 12) == (pc >> 12))
      op.targetIndex = static_cast<uint16_t>((op.target & 0xFFF) >> 2);
    return op;
  }
  if (const TAccurateForm* form = FormOf(word)) {
    Set(op, form->fast, pc, true);
    SetOperands(op, form->operands, word);
    op.target = pc;
    return op;
  }
  if (DecodeShared(op, word, pc, true)) return op;
  op.target = pc;
  if (Op(word) == 0x11) {
    Set(op, kHandlers<Cop1Through>, pc, true);
    op.exact = accurate::Cop1Handler(word);
  } else {
    Set(op, kHandlers<Through>, pc, true);
  }
  return op;
}

}  // namespace vantor
