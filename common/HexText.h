// Upper-case, zero-padded hexadecimal text, the number format of every console line and view.
#pragma once

#include <cstdint>
#include <string>

namespace vantor {

// The low `digits` hex digits of value (1 to 8), upper case, zero-padded.
inline std::string Hex(uint32_t value, int digits) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text(static_cast<size_t>(digits), '0');
  for (int i = digits - 1; i >= 0; --i, value >>= 4)
    text[static_cast<size_t>(i)] = kDigits[value & 0xF];
  return text;
}

inline std::string Hex8(uint32_t value) {
  return Hex(value, 8);
}
inline std::string Hex2(uint32_t value) {
  return Hex(value, 2);
}

}  // namespace vantor
