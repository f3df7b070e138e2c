// Builds r4300i instruction words for tests.
#pragma once

#include <cstdint>

namespace vantor::test {

constexpr uint32_t EncodeR(uint32_t op, uint32_t rs, uint32_t rt, uint32_t rd, uint32_t sa,
                           uint32_t funct) {
  return op << 26 | (rs & 31) << 21 | (rt & 31) << 16 | (rd & 31) << 11 | (sa & 31) << 6 |
         (funct & 63);
}
constexpr uint32_t EncodeI(uint32_t op, uint32_t rs, uint32_t rt, int32_t imm) {
  return op << 26 | (rs & 31) << 21 | (rt & 31) << 16 | (static_cast<uint32_t>(imm) & 0xFFFF);
}
constexpr uint32_t EncodeJ(uint32_t op, uint32_t target) {
  return op << 26 | (target & 0x03FFFFFF);
}

// SPECIAL (op 0) register form and REGIMM (op 1) form.
constexpr uint32_t Special(uint32_t funct, uint32_t rs, uint32_t rt, uint32_t rd, uint32_t sa = 0) {
  return EncodeR(0, rs, rt, rd, sa, funct);
}
constexpr uint32_t RegImm(uint32_t code, uint32_t rs, int32_t offset) {
  return EncodeI(1, rs, code, offset);
}

// Coprocessor forms: op 16 (COP0) or 17 (COP1); fmt/sub-opcode in bits 25-21.
constexpr uint32_t CopMove(uint32_t op, uint32_t sub, uint32_t rt, uint32_t rd) {
  return EncodeR(op, sub, rt, rd, 0, 0);
}
constexpr uint32_t Cop1Arith(uint32_t fmt, uint32_t funct, uint32_t ft, uint32_t fs, uint32_t fd) {
  return EncodeR(17, fmt, ft, fs, fd, funct);
}
constexpr uint32_t Cop1Branch(uint32_t nd_tf, int32_t offset) {
  return 17u << 26 | 8u << 21 | (nd_tf & 3) << 16 | (static_cast<uint32_t>(offset) & 0xFFFF);
}

}  // namespace vantor::test
