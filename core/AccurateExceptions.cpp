#include "core/AccurateExceptions.h"

#include "common/HexText.h"
#include "core/Accurate.h"
#include "core/AccurateMemory.h"
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

// Context keeps its page table base in bits 63-23, XContext in bits 63-33; XContext's bit 32
// takes the region's high bit.
constexpr uint32_t kContextBase = 0xFF800000;
constexpr uint32_t kXContextRegionHigh = 1;
// EntryHi's region and VPN2 (bits 63-62 and 39-13) as a TLB fault names them.
constexpr uint64_t kEntryHiVpn = 0xC00000FF'FFFFE000;
constexpr uint32_t kAsidMask = 0xFF;

// Enters the vector at `offset` with the code in CAUSE; EPC and BD name the instruction given,
// unless EXL was set already (a nested exception, which goes to the general vector).
void EnterAt(uint32_t code, uint32_t coprocessor, uint32_t offset, uint64_t epc, bool delaySlot) {
  uint32_t& status = Cop0Regs[STATUS];
  uint32_t& cause = Cop0Regs[CAUSE];
  if ((status & kStatusEXL) == 0) {
    cause = delaySlot ? cause | kCauseBD : cause & ~kCauseBD;
    SetAccurateCop0(EPC, epc);
  } else {
    offset = kGeneralOffset;
  }
  status |= kStatusEXL;
  cause = (cause & ~(kCauseCodeMask | kCauseCeMask)) | code << 2 | coprocessor << kCauseCeShift;
  const uint32_t base = (status & kStatusBEV) != 0 ? kBootVectorBase : kVectorBase;
  PostImmediateTransfer(base + offset);
  RaisedException = code;
}

// The current instruction is the one at PC, a delay slot when the branch before it has posted
// its transfer.
void Enter(uint32_t code, uint32_t coprocessor, uint32_t offset) {
  const bool delaySlot = BranchState == kBranchImmediate;
  EnterAt(code, coprocessor, offset, Sext32(delaySlot ? PC.Lo - 4 : PC.Lo), delaySlot);
}

}  // namespace

void RaiseException(uint32_t code, uint32_t coprocessor) {
  Enter(code, coprocessor, kGeneralOffset);
}

void RaiseAddressError(uint64_t address, bool store) {
  SetAccurateCop0(BADVADDR, address);
  Enter(store ? kExcAddressStore : kExcAddressLoad, 0, kGeneralOffset);
}

void RaiseUnreachableFetch(uint64_t address) {
  SetAccurateCop0(BADVADDR, address);
  EnterAt(kExcAddressLoad, 0, kGeneralOffset, address, false);
}

void RaiseTlbException(uint64_t address, uint32_t code, bool refill, bool wide) {
  SetAccurateCop0(BADVADDR, address);
  Cop0Regs[CONTEXT] = (Cop0Regs[CONTEXT] & kContextBase) | (LowWord(address) >> 13) << 4;
  // XContext: the region (address bits 63-62) in bits 32-31, address bits 39-13 in 30-4.
  Cop0Regs[XCONTEXT] = static_cast<uint32_t>((address >> 62) & 1) << 31 |
                       static_cast<uint32_t>((address >> 13) & 0x7FFFFFF) << 4;
  Cop0Upper[XCONTEXT] =
      (Cop0Upper[XCONTEXT] & ~kXContextRegionHigh) | static_cast<uint32_t>(address >> 63);
  SetAccurateCop0(ENTRYHI, (address & kEntryHiVpn) | (Cop0Regs[ENTRYHI] & kAsidMask));
  Enter(code, 0, refill ? (wide ? kWideRefillOffset : kRefillOffset) : kGeneralOffset);
}

void EnterExceptionNow(uint32_t code) {
  const uint32_t raised = RaisedException;
  Enter(code, 0, kGeneralOffset);
  RaisedException = raised;
  // The transfer to the vector happens now, before the instruction at PC.
  BranchState = kBranchNone;
  PC.Lo = BranchTarget;
  SetAccurateFetch(PC.Lo);
}

void TakeInterrupt() {
  // The instruction has completed: the exception returns to the one that would run next.
  uint32_t& cause = Cop0Regs[CAUSE];
  switch (BranchState) {
    case kBranchNone:
      cause &= ~kCauseBD;
      SetAccurateCop0(EPC, Sext32(PC.Lo + 4));
      break;
    case kBranchDelayed:
      // Returning runs the branch again, then its delay slot.
      cause |= kCauseBD;
      SetAccurateCop0(EPC, Sext32(PC.Lo));
      break;
    default:
      cause &= ~kCauseBD;
      SetAccurateCop0(EPC, Sext32(BranchTarget));
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
