// The process's random source. Any thread: draws are serialised.
#include "core/random_source.h"

#include <mutex>
#include <random>

#include "core/clock.h"

namespace quarvel {
namespace {

class SeededRandomSource final : public RandomSource {
 public:
  explicit SeededRandomSource(uint64_t seed) : engine_(seed) {}
  uint64_t next() override {
    const std::lock_guard lock(mutex_);
    return engine_();
  }

 private:
  std::mutex mutex_;
  std::mt19937_64 engine_;
};

// Only when the system's generator fails: two clocks read at an arbitrary
// moment still differ between processes started together more often than not.
uint64_t clock_seed() {
  return static_cast<uint64_t>(system_monotonic_clock().now().count()) ^
         static_cast<uint64_t>(system_wall_clock().file_time_now());
}

}  // namespace

RandomSource& system_random_source() {
  static SeededRandomSource source(operating_system_random().value_or(clock_seed()));
  return source;
}

}  // namespace quarvel
