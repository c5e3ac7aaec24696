// The gear hash chunker of chunk map version 1. Pure; the caller's thread.
#include "release/content_chunker.h"

#include <algorithm>
#include <array>

namespace quarvel {
namespace {

// The gear table: 256 values from SplitMix64 started at this seed. The table
// is part of chunk map version 1 (any other table cuts elsewhere).
constexpr uint64_t kGearSeed = 0x5175617276656C31;  // "Quarvel1"

constexpr std::array<uint64_t, 256> make_gear_table() {
  std::array<uint64_t, 256> table{};
  uint64_t state = kGearSeed;
  for (uint64_t& value : table) {
    state += 0x9E3779B97F4A7C15;
    uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EB;
    value = z ^ (z >> 31);
  }
  return table;
}

constexpr std::array<uint64_t, 256> kGear = make_gear_table();

// Normalised chunking (FastCDC): up to the average size a boundary needs 18
// zero bits (one byte in 262,144), after it 13 (one in 8,192), so chunk sizes
// gather around the average: 65.6 KiB measured over 64 MiB of random bytes
// (with 18 and 14, the usual pair, 72 KiB: the skipped minimum adds). The bits
// are the hash's highest, which depend on the last 64 bytes; the lowest
// depend on the last few only.
constexpr uint64_t kHardMask = ~uint64_t{0} << (64 - 18);
constexpr uint64_t kEasyMask = ~uint64_t{0} << (64 - 13);

}  // namespace

ContentChunker::Cut ContentChunker::scan(std::span<const uint8_t> bytes) {
  size_t used = 0;
  // The first kMinChunkBytes of a chunk never end it, and are not hashed.
  if (length_ < kMinChunkBytes) {
    used = static_cast<size_t>(std::min<uint64_t>(kMinChunkBytes - length_, bytes.size()));
    length_ += used;
  }
  for (; used < bytes.size(); ++used) {
    hash_ = (hash_ << 1) + kGear[bytes[used]];
    ++length_;
    const uint64_t mask = length_ <= kAverageChunkBytes ? kHardMask : kEasyMask;
    if ((hash_ & mask) == 0 || length_ == kMaxChunkBytes) {
      length_ = 0;
      hash_ = 0;
      return {used + 1, true};
    }
  }
  return {used, false};
}

}  // namespace quarvel
