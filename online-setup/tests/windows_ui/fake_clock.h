// A monotonic clock for the window's tests: time moves only when the code
// under test sleeps, and a hook runs after every sleep so a test can act
// (edit, focus, pause) at chosen moments.
#pragma once

#include <chrono>
#include <functional>

#include "core/clock.h"

namespace quarvel::testing_support {

class FakeClock final : public MonotonicClock {
 public:
  explicit FakeClock(std::chrono::nanoseconds start) : now_(start) {}
  std::chrono::nanoseconds now() override { return now_; }
  void sleep_for(std::chrono::nanoseconds duration) override {
    now_ += duration;
    ++sleeps;
    if (after_sleep)
      after_sleep(now_);
  }

  int sleeps = 0;
  std::function<void(std::chrono::nanoseconds now)> after_sleep;

 private:
  std::chrono::nanoseconds now_;
};

}  // namespace quarvel::testing_support
