// Register names as the disassembler, the register viewer and the console print them.
#pragma once

#include <array>
#include <string_view>

namespace vantor {

// General registers by number, R0 to RA.
extern const std::array<std::string_view, 32> GprNames;
// Floating-point registers by number, FP00 to FP1F (the number in hexadecimal).
extern const std::array<std::string_view, 32> FprNames;
// COP0 registers by number, INDEX to RESERVED6.
extern const std::array<std::string_view, 32> Cop0RegNames;

}  // namespace vantor
