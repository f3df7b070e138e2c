// The accurate-hardware mode's integer handlers: HI and LO as two 64-bit registers with the
// 64-bit multiplies and divides, the unaligned double-word loads and stores, LL/SC, and the
// double-word FPU transfers by Status.FR.
#include <cstdint>

#include "core/Accurate.h"
#include "core/AccurateAccess.h"
#include "core/AccurateOps.h"
#include "core/CpuState.h"
#include "core/InstrFields.h"
#include "core/RegisterAccess.h"
#include "core/Semantics.h"
#include "memory/AddressMap.h"

namespace vantor::accurate {

namespace {

uint32_t RtLo(uint32_t w) {
  return LowWord(Gpr[Rt(w)]);
}

// The 32-bit operations leave both halves of their result sign-extended.
void SetHiLo32(uint32_t hi, uint32_t lo) {
  AccurateHi = Sext32(hi);
  AccurateLo = Sext32(lo);
}

// The 32-bit multiplies and divides compute as the default machine's (Semantics.h: the product,
// or the quotient in the low word and the remainder in the high word); HI and LO then take the
// halves sign-extended.
void SetFromLoHi(uint64_t loHi) {
  SetHiLo32(HighWord(loHi), LowWord(loHi));
}

// The 64-bit divides keep the whole quotient in LO and the whole remainder in HI.
void SetFromDivision(sem::TDivision division) {
  AccurateLo = division.quotient;
  AccurateHi = division.remainder;
}

}  // namespace

void MFHI(uint32_t w) {
  Gpr[Rd(w)] = AccurateHi;
}
void MTHI(uint32_t w) {
  AccurateHi = Gpr[Rs(w)];
}
void MFLO(uint32_t w) {
  Gpr[Rd(w)] = AccurateLo;
}
void MTLO(uint32_t w) {
  AccurateLo = Gpr[Rs(w)];
}

void MULT(uint32_t w) {
  SetFromLoHi(sem::Mult(Gpr[Rs(w)], Gpr[Rt(w)]));
}
void MULTU(uint32_t w) {
  SetFromLoHi(sem::MultU(Gpr[Rs(w)], Gpr[Rt(w)]));
}
void DIV(uint32_t w) {
  SetFromLoHi(sem::Div(Gpr[Rs(w)], Gpr[Rt(w)]));
}
void DIVU(uint32_t w) {
  SetFromLoHi(sem::DivU(Gpr[Rs(w)], Gpr[Rt(w)]));
}

void DMULT(uint32_t w) {
  const __int128 product =
      __int128{static_cast<int64_t>(Gpr[Rs(w)])} * static_cast<int64_t>(Gpr[Rt(w)]);
  AccurateLo = static_cast<uint64_t>(product);
  AccurateHi = static_cast<uint64_t>(static_cast<unsigned __int128>(product) >> 64);
}
void DMULTU(uint32_t w) {
  const auto product = static_cast<unsigned __int128>(Gpr[Rs(w)]) * Gpr[Rt(w)];
  AccurateLo = static_cast<uint64_t>(product);
  AccurateHi = static_cast<uint64_t>(product >> 64);
}

void DDIV(uint32_t w) {
  SetFromDivision(sem::Div64(sem::Signed(Gpr[Rs(w)]), sem::Signed(Gpr[Rt(w)])));
}
void DDIVU(uint32_t w) {
  SetFromDivision(sem::DivU64(Gpr[Rs(w)], Gpr[Rt(w)]));
}

void SYNC(uint32_t) {}

// The memory double word holds bytes 0 to 7 from the most significant; k is the address's byte
// inside it. LDL fills the register from its top with bytes k to 7, LDR fills it from its bottom
// with bytes 0 to k; SDL and SDR store the same bytes back.
void LDL(uint32_t w) {
  const auto at = AccessAddress(w, 1, TAccessKind::Load);
  if (!at) return;
  const uint32_t address = *at;
  const uint32_t shift = 8 * (address & 7);
  const uint64_t memory = ReadMapDouble(address & ~7u);
  const uint64_t kept = shift == 0 ? 0 : Gpr[Rt(w)] & (UINT64_MAX >> (64 - shift));
  Gpr[Rt(w)] = memory << shift | kept;
}
void LDR(uint32_t w) {
  const auto at = AccessAddress(w, 1, TAccessKind::Load);
  if (!at) return;
  const uint32_t address = *at;
  const uint32_t shift = 8 * (7 - (address & 7));
  const uint64_t memory = ReadMapDouble(address & ~7u);
  const uint64_t kept = shift == 0 ? 0 : Gpr[Rt(w)] & ~(UINT64_MAX >> shift);
  Gpr[Rt(w)] = memory >> shift | kept;
}
void SDL(uint32_t w) {
  const auto at = AccessAddress(w, 1, TAccessKind::Store);
  if (!at) return;
  const uint32_t address = *at;
  const uint32_t shift = 8 * (address & 7);
  const uint32_t aligned = address & ~7u;
  const uint64_t memory = ReadMapDouble(aligned);
  const uint64_t kept = shift == 0 ? 0 : memory & ~(UINT64_MAX >> shift);
  WriteMapDouble(aligned, kept | Gpr[Rt(w)] >> shift);
}
void SDR(uint32_t w) {
  const auto at = AccessAddress(w, 1, TAccessKind::Store);
  if (!at) return;
  const uint32_t address = *at;
  const uint32_t shift = 8 * (7 - (address & 7));
  const uint32_t aligned = address & ~7u;
  const uint64_t memory = ReadMapDouble(aligned);
  const uint64_t kept = shift == 0 ? 0 : memory & (UINT64_MAX >> (64 - shift));
  WriteMapDouble(aligned, Gpr[Rt(w)] << shift | kept);
}

// LLAddr holds the linked physical address divided by 16.
void LL(uint32_t w) {
  const auto at = AccessAddress(w, 4, TAccessKind::Load);
  if (!at) return;
  const uint32_t address = *at;
  Gpr[Rt(w)] = Sext32(ReadMapWord(address));
  LLBit = true;
  Cop0Regs[LLADDR] = (address & 0x1FFFFFFF) >> 4;
}
void LLD(uint32_t w) {
  const auto at = AccessAddress(w, 8, TAccessKind::Load);
  if (!at) return;
  const uint32_t address = *at;
  Gpr[Rt(w)] = ReadMapDouble(address);
  LLBit = true;
  Cop0Regs[LLADDR] = (address & 0x1FFFFFFF) >> 4;
}
void SC(uint32_t w) {
  const auto at = AccessAddress(w, 4, TAccessKind::Store);
  if (!at) return;
  if (LLBit) WriteMapWord(*at, RtLo(w));
  Gpr[Rt(w)] = LLBit ? 1 : 0;
}
void SCD(uint32_t w) {
  const auto at = AccessAddress(w, 8, TAccessKind::Store);
  if (!at) return;
  if (LLBit) WriteMapDouble(*at, Gpr[Rt(w)]);
  Gpr[Rt(w)] = LLBit ? 1 : 0;
}

void LDC1(uint32_t w) {
  if (!CoprocessorUsable(1)) return;
  const auto at = AccessAddress(w, 8, TAccessKind::Load);
  if (at) WriteAccurateFpr64(Ft(w), ReadMapDouble(*at));
}
void SDC1(uint32_t w) {
  if (!CoprocessorUsable(1)) return;
  const auto at = AccessAddress(w, 8, TAccessKind::Store);
  if (at) WriteMapDouble(*at, AccurateFpr64(Ft(w)));
}

}  // namespace vantor::accurate
