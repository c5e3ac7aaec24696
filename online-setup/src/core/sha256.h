// Incremental SHA-256 (FIPS 180-4) from the platform: CNG (bcrypt) on Windows,
// OpenSSL natively. One object per digest, used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quarvel {

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void update(std::span<const uint8_t> bytes);
  void update(std::string_view bytes);

  // The digest as 64 lower-case hexadecimal digits; ends the computation.
  // Returns an empty string when the platform's hash provider was unusable,
  // which never equals a valid digest.
  std::string finish();

  // The digest's 32 bytes; ends the computation. Empty when the platform's
  // hash provider was unusable.
  std::vector<uint8_t> finish_bytes();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Digest of one byte string, as 64 lower-case hexadecimal digits.
std::string sha256_hex(std::string_view bytes);

// Bytes as lower-case hexadecimal, two digits per byte, high nibble first.
std::string lower_hex(std::span<const uint8_t> bytes);

}  // namespace quarvel
