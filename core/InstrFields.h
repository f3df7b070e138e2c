// Bit fields of an r4300i instruction word, shared by the interpreter and the disassembler.
#pragma once

#include <cstdint>

namespace vantor {

constexpr uint32_t Op(uint32_t w) {
  return w >> 26;
}
constexpr uint32_t Rs(uint32_t w) {
  return (w >> 21) & 0x1F;
}
constexpr uint32_t Rt(uint32_t w) {
  return (w >> 16) & 0x1F;
}
constexpr uint32_t Rd(uint32_t w) {
  return (w >> 11) & 0x1F;
}
constexpr uint32_t Sa(uint32_t w) {
  return (w >> 6) & 0x1F;
}
constexpr uint32_t Funct(uint32_t w) {
  return w & 0x3F;
}
constexpr uint32_t Imm(uint32_t w) {
  return w & 0xFFFF;
}
constexpr uint32_t Target(uint32_t w) {
  return w & 0x03FFFFFF;
}

// The immediate sign-extended to 32 bits (as the low word of simm) and to 64 bits.
constexpr uint32_t SImm32(uint32_t w) {
  return static_cast<uint32_t>(static_cast<int16_t>(w));
}
constexpr uint64_t SImm64(uint32_t w) {
  return static_cast<uint64_t>(static_cast<int64_t>(static_cast<int16_t>(w)));
}

// Coprocessor fields: fmt shares bits 25-21 with rs, ft bits 20-16 with rt, fs bits 15-11 with rd.
constexpr uint32_t Fmt(uint32_t w) {
  return Rs(w);
}
constexpr uint32_t Ft(uint32_t w) {
  return Rt(w);
}
constexpr uint32_t Fs(uint32_t w) {
  return Rd(w);
}
constexpr uint32_t Fd(uint32_t w) {
  return Sa(w);
}

}  // namespace vantor
