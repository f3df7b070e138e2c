// A fuzz input read from its front, big-endian, as zeros once it runs out.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantor::fuzz {

class TInput {
 public:
  TInput(const uint8_t* data, size_t size) : data_(data), left_(size) {}
  bool Empty() const { return left_ == 0; }
  uint8_t Byte() {
    if (left_ == 0) return 0;
    --left_;
    return *data_++;
  }
  uint32_t Half() {
    const uint32_t high = Byte();
    return high << 8 | Byte();
  }
  uint32_t Word() {
    const uint32_t high = Half();
    return high << 16 | Half();
  }
  uint64_t Long() {
    const uint64_t high = Word();
    return high << 32 | Word();
  }

 private:
  const uint8_t* data_;
  size_t left_;
};

}  // namespace vantor::fuzz
