// Writes 8-bit RGB pictures as PNG files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantor::cli {

// rgb holds width * height * 3 bytes, rows top to bottom. On failure returns false with a reason.
bool WritePng(const std::string& path, uint32_t width, uint32_t height,
              const std::vector<uint8_t>& rgb, std::string& error);

}  // namespace vantor::cli
