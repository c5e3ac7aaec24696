// Clocks for unit tests: a MonotonicClock whose time stands still until a
// test advances it or the code under test sleeps (every sleep is recorded),
// and a wall clock that shows what the test sets. One thread.
#pragma once

#include <chrono>
#include <functional>
#include <vector>

#include "core/clock.h"

namespace quarvel::testing_support {

class FakeClock final : public MonotonicClock {
 public:
  FakeClock() = default;
  explicit FakeClock(std::chrono::nanoseconds start) : time(start) {}

  std::chrono::nanoseconds time{};
  std::vector<std::chrono::nanoseconds> sleeps;
  // Runs at the start of every sleep, before time moves on.
  std::function<void()> on_sleep;
  // Runs at the end of every sleep, with the new time.
  std::function<void(std::chrono::nanoseconds now)> after_sleep;

  std::chrono::nanoseconds now() override { return time; }
  void sleep_for(std::chrono::nanoseconds duration) override {
    sleeps.push_back(duration);
    if (on_sleep)
      on_sleep();
    time += duration;
    if (after_sleep)
      after_sleep(time);
  }
};

class FixedWallClock final : public WallClock {
 public:
  explicit FixedWallClock(int64_t file_time) : file_time(file_time) {}
  int64_t file_time_now() override { return file_time; }
  int64_t file_time;
};

}  // namespace quarvel::testing_support
