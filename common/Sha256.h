// SHA-256, for naming a ROM image by its contents: Nettle's, behind a plain interface.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vantor {

using TSha256 = std::array<uint8_t, 32>;

TSha256 Sha256(const uint8_t* data, size_t size);

// The digest as 64 lower-case hexadecimal digits.
std::string Sha256Hex(const TSha256& digest);

}  // namespace vantor
