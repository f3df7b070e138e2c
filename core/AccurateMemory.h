// Virtual addresses of the accurate-hardware mode: the segments of 32-bit and 64-bit addressing
// for kernel, supervisor and user, the TLB's translation of the mapped ones, and the fetch of
// instructions through both. Every load, store and fetch of the mode's processor goes through
// TranslateAddress, which raises the address error or TLB exception an access makes. The host
// page tables are used only for the unmapped views of physical memory (0x80000000-0xBFFFFFFF),
// which never change, so no host-side table can hold a translation the TLB has dropped.
#pragma once

#include <cstdint>
#include <optional>

namespace vantor {

enum class TAccessKind : uint8_t { Load, Store, Fetch };

// Where a virtual address lands in the map's unmapped view of physical memory, or why not.
struct TTranslation {
  enum Result : uint8_t { Mapped, AddressError, Refill, Invalid, Modified } result;
  uint32_t address;  // the view's address (0x80000000 + physical) when Mapped
  bool wide;         // a refill in 64-bit addressing: the XTLB refill vector
};

// Translates without side effects (the debugger's reads use it).
TTranslation LookUpAddress(uint64_t address, TAccessKind kind);

// Translates for an access of the running program; raises the access's exception and returns
// nothing when it faults.
std::optional<uint32_t> TranslateAddress(uint64_t address, TAccessKind kind);

// The next instruction is fetched from PC: points InstrPtr at it, or, when its fetch faults,
// leaves the fault for the next step to raise (FetchFaulted).
void SetAccurateFetch(uint32_t pc);

// Set when the fetch at PC faulted; the step then raises the fault instead of running a word.
extern bool FetchFaulted;
// The TLB, the ASID or the segments changed: the next instruction is fetched through them again
// (a transfer to it, unless one is pending already, which fetches anyway).
void RefetchNext();

// Raises the fetch fault of PC (with FetchFaulted set).
void RaiseFetchFault();

}  // namespace vantor
