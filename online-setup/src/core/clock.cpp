#include "core/clock.h"

#include <thread>

namespace quarvel {
namespace {

class SteadyClock final : public MonotonicClock {
 public:
  std::chrono::nanoseconds now() override {
    return std::chrono::steady_clock::now().time_since_epoch();
  }
  void sleep_for(std::chrono::nanoseconds duration) override {
    std::this_thread::sleep_for(duration);
  }
};

}  // namespace

MonotonicClock& system_monotonic_clock() {
  static SteadyClock clock;
  return clock;
}

}  // namespace quarvel
