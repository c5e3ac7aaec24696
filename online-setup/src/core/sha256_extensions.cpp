// The SHA extensions' compression of 64-byte blocks, and the padding around
// it. Portable across compilers for x86-64 (GCC and MinGW); elsewhere never
// available. The caller's thread.
#include "core/sha256_extensions.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace quarvel {
namespace {

#if defined(__x86_64__)

alignas(16) constexpr uint32_t kRoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

// Compresses whole 64-byte blocks into the state (a to h). The instructions
// keep the state as ABEF and CDGH, and take the message four words at a
// time: each group of four rounds adds its constants to its words, and from
// the fifth group on the words come from the four groups before (msg1 and
// msg2 with the words seven back in between).
__attribute__((target("sha,sse4.1"))) void compress(uint32_t* state,
                                                    const uint8_t* data,
                                                    size_t blocks) {
  const __m128i byte_swap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
  __m128i dcba = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0xB1);
  __m128i hgfe =
      _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4)), 0x1B);
  __m128i abef = _mm_alignr_epi8(dcba, hgfe, 8);
  __m128i cdgh = _mm_blend_epi16(hgfe, dcba, 0xF0);
  for (; blocks > 0; --blocks, data += 64) {
    const __m128i abef_before = abef;
    const __m128i cdgh_before = cdgh;
    __m128i words[16];
    for (int group = 0; group < 16; ++group) {
      if (group < 4) {
        words[group] = _mm_shuffle_epi8(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * group)), byte_swap);
      } else {
        const __m128i seven_back = _mm_alignr_epi8(words[group - 1], words[group - 2], 4);
        words[group] = _mm_sha256msg2_epu32(
            _mm_add_epi32(_mm_sha256msg1_epu32(words[group - 4], words[group - 3]), seven_back),
            words[group - 1]);
      }
      __m128i message = _mm_add_epi32(
          words[group],
          _mm_load_si128(reinterpret_cast<const __m128i*>(kRoundConstants + 4 * group)));
      cdgh = _mm_sha256rnds2_epu32(cdgh, abef, message);
      message = _mm_shuffle_epi32(message, 0x0E);
      abef = _mm_sha256rnds2_epu32(abef, cdgh, message);
    }
    abef = _mm_add_epi32(abef, abef_before);
    cdgh = _mm_add_epi32(cdgh, cdgh_before);
  }
  const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
  const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, dchg, 0xF0));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}

bool processor_has_extensions() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (!__get_cpuid(1, &a, &b, &c, &d) || (c & bit_SSE4_1) == 0)
    return false;
  return __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & bit_SHA) != 0;
}

#else

void compress(uint32_t*, const uint8_t*, size_t) {}
bool processor_has_extensions() {
  return false;
}

#endif

}  // namespace

bool ShaExtensionsSha256::available() {
  static const bool has = processor_has_extensions();
  return has;
}

void ShaExtensionsSha256::update(std::span<const uint8_t> bytes) {
  length_ += bytes.size();
  if (buffered_ > 0) {
    const size_t taken = std::min(bytes.size(), block_.size() - buffered_);
    std::memcpy(block_.data() + buffered_, bytes.data(), taken);
    buffered_ += taken;
    bytes = bytes.subspan(taken);
    if (buffered_ < block_.size())
      return;
    compress(state_.data(), block_.data(), 1);
    buffered_ = 0;
  }
  const size_t whole = bytes.size() / 64;
  compress(state_.data(), bytes.data(), whole);
  bytes = bytes.subspan(whole * 64);
  std::memcpy(block_.data(), bytes.data(), bytes.size());
  buffered_ = bytes.size();
}

std::array<uint8_t, 32> ShaExtensionsSha256::finish() {
  // 0x80, zeros up to 56 bytes into a block, the length in bits (big-endian).
  const uint64_t bits = length_ * 8;
  std::array<uint8_t, 72> padding{0x80};
  const size_t zeros = (buffered_ < 56 ? 56 : 120) - buffered_ - 1;
  for (int i = 0; i < 8; ++i)
    padding[1 + zeros + i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
  update(std::span(padding.data(), 1 + zeros + 8));
  std::array<uint8_t, 32> digest;
  for (size_t i = 0; i < 8; ++i) {
    for (size_t j = 0; j < 4; ++j)
      digest[4 * i + j] = static_cast<uint8_t>(state_[i] >> (24 - 8 * j));
  }
  return digest;
}

}  // namespace quarvel
