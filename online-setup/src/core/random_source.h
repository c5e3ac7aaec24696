// Random numbers for choices that should differ from one process to the
// next, such as how long a client waits before it tries again; not for
// secrets. Implementations are safe on any thread.
#pragma once

#include <cstdint>
#include <optional>

namespace quarvel {

class RandomSource {
 public:
  virtual ~RandomSource() = default;
  // A number drawn uniformly from all 64-bit values.
  virtual uint64_t next() = 0;
};

// 64 bits from the operating system's generator (BCryptGenRandom on Windows,
// getrandom natively); nullopt when it fails.
std::optional<uint64_t> operating_system_random();

// The process's source: a SplitMix64 generator seeded once, on first use, from
// the operating system's generator, or from the clocks should that fail.
RandomSource& system_random_source();

}  // namespace quarvel
