// Exceptions of the accurate-hardware mode's processor, as the r4300i takes them: an instruction
// that raises one writes nothing of its own, COP0 records the cause, and the step goes on at the
// exception vector instead of the next instruction.
#pragma once

#include <cstdint>
#include <string>

namespace vantor {

// The exception codes of CAUSE bits 6-2.
enum TExceptionCode : uint32_t {
  kExcInterrupt = 0,
  kExcTlbModified = 1,
  kExcTlbLoad = 2,  // TLB refill or invalid on a load or fetch
  kExcTlbStore = 3,
  kExcAddressLoad = 4,  // address error on a load or fetch
  kExcAddressStore = 5,
  kExcSyscall = 8,
  kExcBreak = 9,
  kExcReserved = 10,
  kExcCopUnusable = 11,
  kExcOverflow = 12,
  kExcTrap = 13,
  kExcFloatingPoint = 15,
};

// STATUS fields the exception entry and the address checks read.
inline constexpr uint32_t kStatusKsuShift = 3;  // bits 4-3: 0 kernel, 1 supervisor, 2 user
inline constexpr uint32_t kStatusUX = 0x00000020;
inline constexpr uint32_t kStatusSX = 0x00000040;
inline constexpr uint32_t kStatusKX = 0x00000080;
inline constexpr uint32_t kStatusBEV = 0x00400000;
inline constexpr uint32_t kStatusCU0 = 0x10000000;
inline constexpr uint32_t kStatusCU1 = 0x20000000;
inline constexpr uint32_t kStatusCU2 = 0x40000000;

// The code of the last exception an instruction raised since the flag was cleared; the debugger
// clears it before a step and stops on it after. kNoException when none.
inline constexpr uint32_t kNoException = 0xFFFFFFFF;
extern uint32_t RaisedException;

// Enters the exception vector for the current instruction: EPC and CAUSE.BD name it (or the
// branch before its delay slot) unless EXL was already set, which leaves both alone. An
// instruction raises before it posts any transfer of its own, so a transfer pending now is the
// one whose delay slot it is.
// `coprocessor` goes to CAUSE.CE (coprocessor unusable).
void RaiseException(uint32_t code, uint32_t coprocessor = 0);

// An address error at a virtual address: BadVAddr holds it.
void RaiseAddressError(uint64_t address, bool store);

// An address error at the fetch from `address`, which a return (ERET) went to but the 32-bit
// program counter cannot hold: EPC and BadVAddr name it.
void RaiseUnreachableFetch(uint64_t address);

// A TLB exception at a virtual address: BadVAddr, Context, XContext and EntryHi hold it. A refill
// (no entry matched) outside EXL enters the TLB refill vector, the 64-bit one when `wide`.
void RaiseTlbException(uint64_t address, uint32_t code, bool refill, bool wide);

// An exception entered between two steps (the debugger's): the instruction at PC has not run,
// and the next one to run is the vector's first. EPC and BD name the instruction at PC (or the
// branch before its delay slot) unless EXL is set.
void EnterExceptionNow(uint32_t code);

// The interrupt exception at the end of a step, entered before the next instruction.
void TakeInterrupt();

// The console line that names an exception just taken: its code and name, EPC and BadVAddr.
std::string ExceptionLine(uint32_t code);

// The privilege an access is made with: kernel (also under EXL or ERL), supervisor or user.
enum class TPrivilege : uint8_t { Kernel, Supervisor, User };
TPrivilege CurrentPrivilege();

// Whether the program may use coprocessor `unit` now; raises coprocessor unusable when not.
bool CoprocessorUsable(uint32_t unit);

}  // namespace vantor
