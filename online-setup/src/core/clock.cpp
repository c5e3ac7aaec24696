#include "core/clock.h"

#include <algorithm>
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

bool wait_unless_paused(MonotonicClock& clock,
                        const std::atomic<bool>& pause_requested,
                        std::chrono::nanoseconds wait) {
  const std::chrono::nanoseconds started = clock.now();
  for (;;) {
    if (pause_requested.load())
      return false;
    const std::chrono::nanoseconds left = wait - (clock.now() - started);
    if (left <= std::chrono::nanoseconds::zero())
      return true;
    clock.sleep_for(std::min<std::chrono::nanoseconds>(left, kPausePoll));
  }
}

MonotonicClock& system_monotonic_clock() {
  static SteadyClock clock;
  return clock;
}

}  // namespace quarvel
