// How the accurate-hardware mode's loads and stores reach memory: the effective address is
// checked for alignment, its segment and the TLB before anything is read or written, so an access
// that faults changes nothing but COP0.
#pragma once

#include <cstdint>
#include <optional>

#include "core/AccurateExceptions.h"
#include "core/AccurateMemory.h"
#include "core/CpuState.h"
#include "core/InstrFields.h"
#include "core/Semantics.h"
#include "memory/AddressMap.h"

namespace vantor::accurate {

// The map address of the access of `size` bytes the instruction makes, or nothing once its
// exception has been raised. The unaligned forms pass a size of 1.
inline std::optional<uint32_t> AccessAddress(uint32_t w, uint32_t size, TAccessKind kind) {
  const uint64_t address = sem::EffectiveAddress(Gpr[Rs(w)], SImm64(w));
  if (DirectKernelAccess(address, size)) [[likely]]
    return static_cast<uint32_t>(address);
  return TranslateAddress(address, size, kind);
}

// A double word is aligned to 8, so both of its words lie in one page.
inline uint64_t ReadMapDouble(uint32_t address) {
  return uint64_t{ReadMapWord(address)} << 32 | ReadMapWord(address + 4);
}
inline void WriteMapDouble(uint32_t address, uint64_t value) {
  WriteMapWord(address, static_cast<uint32_t>(value >> 32));
  WriteMapWord(address + 4, static_cast<uint32_t>(value));
}

}  // namespace vantor::accurate
