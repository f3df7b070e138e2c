// Small helpers for the instruction handlers: register words and sign extension.
#pragma once

#include <cstdint>

namespace vantor {

constexpr uint32_t LowWord(uint64_t value) {
  return static_cast<uint32_t>(value);
}
constexpr uint32_t HighWord(uint64_t value) {
  return static_cast<uint32_t>(value >> 32);
}

// A 32-bit value sign-extended to 64 bits.
constexpr uint64_t Sext32(uint32_t value) {
  return static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(value)));
}

}  // namespace vantor
