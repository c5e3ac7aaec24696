// SHA-256 (FIPS 180-4) with the x86-64 SHA extensions (SHA-NI), for hashing
// that runs on the download's own thread as the bytes arrive: there a slow
// provider slows the download itself (Wine's bcrypt hashes in plain C at
// about 185 MB/s; these instructions do well over 1 GB/s, as Windows' CNG does
// with them). Usable only where the processor has them; callers take the
// platform's Sha256 otherwise. One object per digest, one thread at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace quarvel {

class ShaExtensionsSha256 {
 public:
  // True when this processor has the SHA extensions and SSE4.1, which the
  // object needs. Cannot fail.
  static bool available();

  // Only when available(). Cannot fail.
  void update(std::span<const uint8_t> bytes);
  // The digest; ends the computation. Cannot fail.
  std::array<uint8_t, 32> finish();

 private:
  std::array<uint32_t, 8> state_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::array<uint8_t, 64> block_{};  // a block begun
  size_t buffered_ = 0;              // bytes of it
  uint64_t length_ = 0;              // bytes hashed so far
};

}  // namespace quarvel
