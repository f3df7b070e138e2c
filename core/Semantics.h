// What the integer instructions compute, as functions of operand values. The single-step
// handlers (which take the instruction word) and the block runner's handlers (which take
// operands decoded once) both compute through these, so the two paths cannot drift apart.
#pragma once

#include <cstdint>
#include <cstring>

#include "core/RegisterAccess.h"
#include "memory/AddressMap.h"

namespace vantor::sem {

constexpr int64_t Signed(uint64_t value) {
  return static_cast<int64_t>(value);
}

// Register with register: rd = f(rs, rt). The 32-bit forms work on the low words and
// sign-extend the result; the variable shifts take their amount from rs.
constexpr uint64_t Add32(uint64_t s, uint64_t t) {
  return Sext32(LowWord(s) + LowWord(t));
}
constexpr uint64_t Sub32(uint64_t s, uint64_t t) {
  return Sext32(LowWord(s) - LowWord(t));
}
constexpr uint64_t Add64(uint64_t s, uint64_t t) {
  return s + t;
}
constexpr uint64_t Sub64(uint64_t s, uint64_t t) {
  return s - t;
}
constexpr uint64_t And(uint64_t s, uint64_t t) {
  return s & t;
}
constexpr uint64_t Or(uint64_t s, uint64_t t) {
  return s | t;
}
constexpr uint64_t Xor(uint64_t s, uint64_t t) {
  return s ^ t;
}
constexpr uint64_t Nor(uint64_t s, uint64_t t) {
  return ~(s | t);
}
constexpr uint64_t LessSigned(uint64_t s, uint64_t t) {
  return Signed(s) < Signed(t);
}
constexpr uint64_t LessUnsigned(uint64_t s, uint64_t t) {
  return s < t;
}
constexpr uint64_t ShiftLeftVar32(uint64_t s, uint64_t t) {
  return Sext32(LowWord(t) << (LowWord(s) & 31));
}
constexpr uint64_t ShiftRightVar32(uint64_t s, uint64_t t) {
  return Sext32(LowWord(t) >> (LowWord(s) & 31));
}
constexpr uint64_t ShiftArithVar32(uint64_t s, uint64_t t) {
  return Sext32(static_cast<uint32_t>(static_cast<int32_t>(LowWord(t)) >> (LowWord(s) & 31)));
}
constexpr uint64_t ShiftLeftVar64(uint64_t s, uint64_t t) {
  return t << (LowWord(s) & 63);
}
constexpr uint64_t ShiftRightVar64(uint64_t s, uint64_t t) {
  return t >> (LowWord(s) & 63);
}
constexpr uint64_t ShiftArithVar64(uint64_t s, uint64_t t) {
  return static_cast<uint64_t>(Signed(t) >> (LowWord(s) & 63));
}

// Shift by the sa field: rd = f(rt, sa). The "32" forms pass sa + 32.
constexpr uint64_t ShiftLeft32(uint64_t t, uint32_t sa) {
  return Sext32(LowWord(t) << sa);
}
constexpr uint64_t ShiftRight32(uint64_t t, uint32_t sa) {
  return Sext32(LowWord(t) >> sa);
}
constexpr uint64_t ShiftArith32(uint64_t t, uint32_t sa) {
  return Sext32(static_cast<uint32_t>(static_cast<int32_t>(LowWord(t)) >> sa));
}
constexpr uint64_t ShiftLeft64(uint64_t t, uint32_t sa) {
  return t << sa;
}
constexpr uint64_t ShiftRight64(uint64_t t, uint32_t sa) {
  return t >> sa;
}
constexpr uint64_t ShiftArith64(uint64_t t, uint32_t sa) {
  return static_cast<uint64_t>(Signed(t) >> sa);
}

// Register with immediate: rt = f(rs, imm), the immediate sign-extended to 64 bits for the
// arithmetic and compares and zero-extended for the logic.
constexpr uint64_t AddImm32(uint64_t s, uint64_t imm) {
  return Sext32(LowWord(s) + LowWord(imm));
}
constexpr uint64_t AndImm(uint64_t s, uint64_t imm) {
  return s & imm;
}
constexpr uint64_t LoadUpper(uint64_t, uint64_t imm) {
  return Sext32(LowWord(imm) << 16);
}

// Multiply and divide into MulDivTemp (LO in the low word, HI in the high word).
constexpr uint64_t LoHi(uint32_t lo, uint32_t hi) {
  return uint64_t{hi} << 32 | lo;
}
constexpr uint64_t Mult(uint64_t s, uint64_t t) {
  return static_cast<uint64_t>(int64_t{static_cast<int32_t>(LowWord(s))} *
                               int64_t{static_cast<int32_t>(LowWord(t))});
}
constexpr uint64_t MultU(uint64_t s, uint64_t t) {
  return uint64_t{LowWord(s)} * LowWord(t);
}
constexpr uint64_t Mult64(uint64_t s, uint64_t t) {
  return s * t;
}
// A zero divisor leaves the quotient all ones for a non-negative dividend and 1 for a negative
// one, with the dividend as remainder; 0x80000000 / -1 gives 0x80000000 remainder 0. These are
// the r4300i's own results, and they keep the host from faulting.
constexpr uint64_t Div(uint64_t s, uint64_t t) {
  const auto dividend = static_cast<int32_t>(LowWord(s));
  const auto divisor = static_cast<int32_t>(LowWord(t));
  if (divisor == 0) return LoHi(dividend < 0 ? 1 : 0xFFFFFFFF, static_cast<uint32_t>(dividend));
  if (dividend == INT32_MIN && divisor == -1) return LoHi(0x80000000, 0);
  return LoHi(static_cast<uint32_t>(dividend / divisor), static_cast<uint32_t>(dividend % divisor));
}
constexpr uint64_t DivU(uint64_t s, uint64_t t) {
  const uint32_t dividend = LowWord(s);
  const uint32_t divisor = LowWord(t);
  if (divisor == 0) return LoHi(0xFFFFFFFF, dividend);
  return LoHi(dividend / divisor, dividend % divisor);
}
// The 64-bit divides, on whole double words and with the same zero-divisor results at 64 bits;
// -2^63 / -1 gives -2^63 remainder 0.
struct TDivision {
  uint64_t quotient;
  uint64_t remainder;
};
constexpr TDivision Div64(int64_t dividend, int64_t divisor) {
  if (divisor == 0)
    return {dividend < 0 ? uint64_t{1} : UINT64_MAX, static_cast<uint64_t>(dividend)};
  if (dividend == INT64_MIN && divisor == -1) return {static_cast<uint64_t>(INT64_MIN), 0};
  return {static_cast<uint64_t>(dividend / divisor), static_cast<uint64_t>(dividend % divisor)};
}
constexpr TDivision DivU64(uint64_t dividend, uint64_t divisor) {
  if (divisor == 0) return {UINT64_MAX, dividend};
  return {dividend / divisor, dividend % divisor};
}
constexpr uint64_t FromHi(uint64_t mulDiv) {
  return Sext32(HighWord(mulDiv));
}
constexpr uint64_t FromLo(uint64_t mulDiv) {
  return mulDiv;
}

// Branch conditions on rs and rt.
constexpr bool Equal(uint64_t s, uint64_t t) {
  return s == t;
}
constexpr bool NotEqual(uint64_t s, uint64_t t) {
  return s != t;
}
constexpr bool AtMostZero(uint64_t s, uint64_t) {
  return Signed(s) <= 0;
}
constexpr bool AboveZero(uint64_t s, uint64_t) {
  return Signed(s) > 0;
}
constexpr bool BelowZero(uint64_t s, uint64_t) {
  return Signed(s) < 0;
}
constexpr bool AtLeastZero(uint64_t s, uint64_t) {
  return Signed(s) >= 0;
}

// The effective address of a load or store: the base register plus the sign-extended offset. The
// accurate mode checks all 64 bits; the default machine maps the low word, which the low words of
// the two alone decide, so it adds just those.
template <typename TWord>
constexpr TWord EffectiveAddress(TWord base, TWord offset) {
  return base + offset;
}

// Loads, given how to read the host word at an offset of the effective address's page (the
// page's read handler, or its storage when that handler is plain memory). Byte and halfword
// lanes are found by flipping the offset into the host word order of the storage.
template <typename TRead>
uint64_t LoadByte(uint32_t offset, TRead read) {
  return static_cast<uint64_t>(int64_t{static_cast<int8_t>(read(offset ^ 3))});
}
template <typename TRead>
uint64_t LoadByteU(uint32_t offset, TRead read) {
  return read(offset ^ 3) & 0xFF;
}
template <typename TRead>
uint64_t LoadHalf(uint32_t offset, TRead read) {
  return static_cast<uint64_t>(int64_t{static_cast<int16_t>(read(offset ^ 2))});
}
template <typename TRead>
uint64_t LoadHalfU(uint32_t offset, TRead read) {
  return read(offset ^ 2) & 0xFFFF;
}
template <typename TRead>
uint64_t LoadWord(uint32_t offset, TRead read) {
  return Sext32(read(offset));
}
template <typename TRead>
uint64_t LoadWordU(uint32_t offset, TRead read) {
  return read(offset);
}
// Both halves of a double word use the same page; the second half past the page end reads 0.
template <typename TRead>
uint64_t LoadDouble(uint32_t offset, TRead read) {
  const uint32_t high = read(offset);
  return uint64_t{high} << 32 | read(offset + 4);
}

// Byte and halfword stores write the page's storage directly, so they never trigger a register's
// side effects. At offset 0xFFD the lane adjustment puts the halfword on the page's last byte:
// only its low byte lies inside the page and is kept, as the loads keep only the bytes inside
// the page.
inline void StoreByte(uint8_t* page, uint32_t offset, uint64_t value) {
  page[offset ^ 3] = static_cast<uint8_t>(value);
}
inline void StoreHalf(uint8_t* page, uint32_t offset, uint64_t value) {
  const auto half = static_cast<uint16_t>(value);
  const uint32_t at = offset ^ 2;
  std::memcpy(page + at, &half, at < kPageSize - 1 ? sizeof half : 1);
}
// Word stores go through how the page is written (its write handler, or its storage).
template <typename TWrite>
void StoreWord(uint32_t offset, uint64_t value, TWrite write) {
  write(offset, LowWord(value));
}
template <typename TWrite>
void StoreDouble(uint32_t offset, uint64_t value, TWrite write) {
  write(offset, HighWord(value));
  write(offset + 4, LowWord(value));
}

// LWL, LWR, SWL and SWR: the aligned word in memory merged with the register. Byte position k
// inside the aligned word, counted from the most significant byte.
constexpr uint32_t MergeLeft(uint32_t memory, uint32_t reg, uint32_t k) {
  return k == 0 ? memory : memory << (8 * k) | (reg & (0xFFFFFFFFu >> (32 - 8 * k)));
}
constexpr uint32_t MergeRight(uint32_t memory, uint32_t reg, uint32_t k) {
  return k == 3 ? memory : (reg & ~(0xFFFFFFFFu >> (8 * (3 - k)))) | memory >> (8 * (3 - k));
}
constexpr uint32_t StoreLeft(uint32_t memory, uint32_t reg, uint32_t k) {
  return k == 0 ? reg : (memory & ~(0xFFFFFFFFu >> (8 * k))) | reg >> (8 * k);
}
constexpr uint32_t StoreRight(uint32_t memory, uint32_t reg, uint32_t k) {
  return k == 3 ? reg : (memory & (0xFFFFFFFFu >> (8 * (k + 1)))) | reg << (8 * (3 - k));
}

}  // namespace vantor::sem
