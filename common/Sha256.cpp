#include "common/Sha256.h"

#include <nettle/sha2.h>

namespace vantor {

TSha256 Sha256(const uint8_t* data, size_t size) {
  static_assert(SHA256_DIGEST_SIZE == std::tuple_size_v<TSha256>);
  sha256_ctx context;
  sha256_init(&context);
  sha256_update(&context, size, data);
  TSha256 digest{};
  sha256_digest(&context, digest.size(), digest.data());
  return digest;
}

std::string Sha256Hex(const TSha256& digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (uint8_t byte : digest) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
  }
  return text;
}

}  // namespace vantor
