// Virtual addresses of the accurate-hardware mode: the segments of 32-bit and 64-bit addressing
// for kernel, supervisor and user, the TLB's translation of the mapped ones, and the fetch of
// instructions through both. Translation has two halves: CheckAccess finds where an access lands
// or the fault it would take, touching nothing (the debugger's reads use it alone), and
// RaiseAccessFault takes that fault. Every load, store and fetch of the mode's processor goes
// through both (TranslateAddress). The host page tables are used only for the unmapped views of
// physical memory (0x80000000-0xBFFFFFFF), which never change, so no host-side table can hold a
// translation the TLB has dropped.
#pragma once

#include <cstdint>
#include <optional>

#include "core/AccurateExceptions.h"
#include "core/CpuState.h"

namespace vantor {

enum class TAccessKind : uint8_t { Load, Store, Fetch };

// Where a virtual address lands in the map's unmapped view of physical memory, or why not.
struct TTranslation {
  enum Result : uint8_t { Mapped, AddressError, Refill, Invalid, Modified } result;
  uint32_t address;  // the view's address (0x80000000 + physical) when Mapped
  bool wide;         // a refill in 64-bit addressing: the XTLB refill vector
};

// The segments and the TLB's translation of a virtual address, without side effects.
TTranslation LookUpAddress(uint64_t address, TAccessKind kind);

// What an access of the running program would do: land at a map address, or take a fault.
struct TAccess {
  TTranslation::Result result;  // Mapped, or the fault
  bool wide;                    // a refill in 64-bit addressing: the XTLB refill vector
  TAccessKind kind;
  uint32_t mapAddress;  // when Mapped
  uint64_t address;     // the virtual address, which BadVAddr takes on a fault
  bool Mapped() const { return result == TTranslation::Mapped; }
};

// kseg0 and kseg1 as 64-bit addresses.
inline constexpr uint64_t kKernelUnmappedStart = 0xFFFFFFFF'80000000;
inline constexpr uint64_t kKernelUnmappedSize = 0x40000000;

inline bool KernelMode() {
  const uint32_t status = Cop0Regs[STATUS];
  return (status & (kStatusEXL | kStatusERL)) != 0 || ((status >> kStatusKsuShift) & 3) == 0;
}

// An aligned access of the kernel to kseg0 or kseg1, which lands at its own address: most
// accesses are, and they need no lookup.
inline bool DirectKernelAccess(uint64_t address, uint32_t size) {
  return (address & (size - 1)) == 0 && address - kKernelUnmappedStart < kKernelUnmappedSize &&
         KernelMode();
}

// An access of `size` bytes (1, 2, 4 or 8; the unaligned forms pass 1) at a virtual address with
// the current mode and ASID: a misaligned address is an address error, then LookUpAddress.
// Touches nothing.
TAccess CheckAccess(uint64_t address, uint32_t size, TAccessKind kind);

// Takes the exception of an access that faulted: COP0 records it and the step goes on at its
// vector.
void RaiseAccessFault(const TAccess& access);

// CheckAccess for an access of the running program: the map address, or nothing once the fault
// has been raised.
std::optional<uint32_t> TranslateAddress(uint64_t address, uint32_t size, TAccessKind kind);

// The next instruction is fetched from PC: points InstrPtr at it, or, when its fetch faults,
// leaves the fault for the next step to raise (FetchFaulted).
void SetAccurateFetch(uint32_t pc);

// Set when the fetch at PC faulted; the step then raises the fault instead of running a word.
extern bool FetchFaulted;
// The TLB, the ASID or the segments changed: the next instruction is fetched through them again
// (a transfer to it, unless one is pending already, which fetches anyway).
void RefetchNext();

// Raises the fetch fault of PC (with FetchFaulted set): the same check as SetAccurateFetch's.
void RaiseFetchFault();

}  // namespace vantor
