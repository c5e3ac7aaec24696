#include "core/sha256.h"

namespace quarvel {

void Sha256::update(std::string_view bytes) {
  update(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

std::string Sha256::finish() {
  return lower_hex(finish_bytes());
}

std::string sha256_hex(std::string_view bytes) {
  Sha256 digest;
  digest.update(bytes);
  return digest.finish();
}

std::string lower_hex(std::span<const uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const uint8_t b : bytes) {
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 0x0F]);
  }
  return out;
}

}  // namespace quarvel
