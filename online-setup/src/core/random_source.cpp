// The process's random source. Any thread: the state moves atomically.
#include "core/random_source.h"

#include <atomic>

#include "core/clock.h"

namespace quarvel {
namespace {

// SplitMix64: each draw advances a counter by a fixed odd step and mixes it;
// every 64-bit value comes once per period. Ample for spreading waits, and
// only eight bytes of state.
class SplitMixSource final : public RandomSource {
 public:
  explicit SplitMixSource(uint64_t seed) : state_(seed) {}
  uint64_t next() override {
    constexpr uint64_t kStep = 0x9E3779B97F4A7C15u;
    uint64_t z = state_.fetch_add(kStep) + kStep;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
  }

 private:
  std::atomic<uint64_t> state_;
};

// Only when the system's generator fails: two clocks read at an arbitrary
// moment still differ between processes started together more often than not.
uint64_t clock_seed() {
  return static_cast<uint64_t>(system_monotonic_clock().now().count()) ^
         static_cast<uint64_t>(system_wall_clock().file_time_now());
}

}  // namespace

RandomSource& system_random_source() {
  static SplitMixSource source(operating_system_random().value_or(clock_seed()));
  return source;
}

}  // namespace quarvel
