#include "core/AccurateExceptions.h"

#include "common/HexText.h"
#include "core/CpuState.h"
#include "core/RegisterAccess.h"
#include "core/Transfer.h"

namespace vantor {

uint32_t RaisedException = kNoException;

namespace {

constexpr uint32_t kVectorBase = 0x80000000;
constexpr uint32_t kBootVectorBase = 0xBFC00200;  // while STATUS.BEV is set
constexpr uint32_t kRefillOffset = 0x000;
constexpr uint32_t kWideRefillOffset = 0x080;
constexpr uint32_t kGeneralOffset = 0x180;

constexpr uint32_t kCauseCodeMask = 0x7C;
constexpr uint32_t kCauseCeShift = 28;
constexpr uint32_t kCauseCeMask = 0x30000000;

// Context keeps its page table base in bits 31-23, XContext bits 63-33 (not held here).
constexpr uint32_t kContextBase = 0xFF800000;

void Enter(uint32_t code, uint32_t coprocessor, uint32_t offset) {
  uint32_t& status = Cop0Regs[STATUS];
  uint32_t& cause = Cop0Regs[CAUSE];
  if ((status & kStatusEXL) == 0) {
    if (BranchState == kBranchImmediate) {
      cause |= kCauseBD;
      Cop0Regs[EPC] = PC.Lo - 4;
    } else {
      cause &= ~kCauseBD;
      Cop0Regs[EPC] = PC.Lo;
    }
  } else {
    // A nested exception goes to the general vector and keeps EPC.
    offset = kGeneralOffset;
  }
  status |= kStatusEXL;
  cause = (cause & ~(kCauseCodeMask | kCauseCeMask)) | code << 2 | coprocessor << kCauseCeShift;
  const uint32_t base = (status & kStatusBEV) != 0 ? kBootVectorBase : kVectorBase;
  PostImmediateTransfer(base + offset);
  RaisedException = code;
}

}  // namespace

void RaiseException(uint32_t code, uint32_t coprocessor) {
  Enter(code, coprocessor, kGeneralOffset);
}

void RaiseAddressError(uint64_t address, bool store) {
  Cop0Regs[BADVADDR] = LowWord(address);
  Enter(store ? kExcAddressStore : kExcAddressLoad, 0, kGeneralOffset);
}

void RaiseTlbException(uint64_t address, uint32_t code, bool refill, bool wide) {
  const uint32_t low = LowWord(address);
  Cop0Regs[BADVADDR] = low;
  Cop0Regs[CONTEXT] = (Cop0Regs[CONTEXT] & kContextBase) | (low >> 13) << 4;
  // XContext's low word: the region's low bit (address bit 62) and address bits 39-13.
  Cop0Regs[XCONTEXT] = static_cast<uint32_t>((address >> 62) & 1) << 31 |
                       static_cast<uint32_t>((address >> 13) & 0x7FFFFFF) << 4;
  Cop0Regs[ENTRYHI] = (low & ~0x1FFFu) | (Cop0Regs[ENTRYHI] & 0xFF);
  Enter(code, 0, refill ? (wide ? kWideRefillOffset : kRefillOffset) : kGeneralOffset);
}

void TakeInterrupt() {
  // The instruction has completed: the exception returns to the one that would run next.
  uint32_t& cause = Cop0Regs[CAUSE];
  switch (BranchState) {
    case kBranchNone:
      cause &= ~kCauseBD;
      Cop0Regs[EPC] = PC.Lo + 4;
      break;
    case kBranchDelayed:
      // Returning runs the branch again, then its delay slot.
      cause |= kCauseBD;
      Cop0Regs[EPC] = PC.Lo;
      break;
    default:
      cause &= ~kCauseBD;
      Cop0Regs[EPC] = BranchTarget;
      break;
  }
  Cop0Regs[STATUS] |= kStatusEXL;
  cause &= ~(kCauseCodeMask | kCauseCeMask);
  const uint32_t base = (Cop0Regs[STATUS] & kStatusBEV) != 0 ? kBootVectorBase : kVectorBase;
  PostImmediateTransfer(base + kGeneralOffset);
}

std::string ExceptionLine(uint32_t code) {
  static constexpr const char* kNames[32] = {"interrupt",
                                             "TLB modified",
                                             "TLB miss on load",
                                             "TLB miss on store",
                                             "address error on load",
                                             "address error on store",
                                             "bus error on fetch",
                                             "bus error on data",
                                             "syscall",
                                             "breakpoint",
                                             "reserved instruction",
                                             "coprocessor unusable",
                                             "overflow",
                                             "trap",
                                             nullptr,
                                             "floating point"};
  const char* name = code < 32 && kNames[code] != nullptr ? kNames[code] : "reserved";
  return "Exception " + std::to_string(code) + " (" + name + ") EPC " + Hex8(Cop0Regs[EPC]) +
         " BadVAddr " + Hex8(Cop0Regs[BADVADDR]);
}

TPrivilege CurrentPrivilege() {
  const uint32_t status = Cop0Regs[STATUS];
  if ((status & (kStatusEXL | kStatusERL)) != 0) return TPrivilege::Kernel;
  switch ((status >> kStatusKsuShift) & 3) {
    case 0:
      return TPrivilege::Kernel;
    case 1:
      return TPrivilege::Supervisor;
    default:
      return TPrivilege::User;
  }
}

bool CoprocessorUsable(uint32_t unit) {
  const uint32_t status = Cop0Regs[STATUS];
  const bool usable = unit == 0
                          ? (status & kStatusCU0) != 0 || CurrentPrivilege() == TPrivilege::Kernel
                          : (status & (kStatusCU0 << unit)) != 0;
  if (!usable) RaiseException(kExcCopUnusable, unit);
  return usable;
}

}  // namespace vantor
