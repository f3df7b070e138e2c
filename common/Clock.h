// A millisecond clock that wraps at 32 bits, for frame-rate and run-length figures.
#pragma once

#include <chrono>
#include <cstdint>

namespace vantor {

inline uint32_t MilliClock() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

}  // namespace vantor
