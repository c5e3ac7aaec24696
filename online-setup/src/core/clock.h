// Clocks the logic receives, so tests can drive time. The monotonic clock
// measures deadlines, delays and the countdown; the wall clock is only read
// for the range query and for a server's Retry-After date without a Date of
// its own. Implementations are safe on any thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace quarvel {

// 100 ns units between 1601-01-01 and 1970-01-01.
inline constexpr int64_t kUnixEpochAsFileTime = 116444736000000000;

class MonotonicClock {
 public:
  virtual ~MonotonicClock() = default;
  // Time since an arbitrary fixed origin.
  virtual std::chrono::nanoseconds now() = 0;
  virtual void sleep_for(std::chrono::nanoseconds duration) = 0;
};

class WallClock {
 public:
  virtual ~WallClock() = default;
  // Hundreds of nanoseconds since 1601-01-01 UTC (a Windows file time),
  // as a signed value so that a clock set before 1601 stays representable.
  virtual int64_t file_time_now() = 0;
};

// How often a pausable wait looks at the pause request.
inline constexpr std::chrono::milliseconds kPausePoll{50};

// Sleeps for `wait` on the clock in steps of at most kPausePoll; false as
// soon as a pause is requested (looked at before every step).
bool wait_unless_paused(MonotonicClock& clock,
                        const std::atomic<bool>& pause_requested,
                        std::chrono::nanoseconds wait);

// steady_clock and this_thread::sleep_for.
MonotonicClock& system_monotonic_clock();

// GetSystemTimePreciseAsFileTime on Windows, the system clock natively.
WallClock& system_wall_clock();

}  // namespace quarvel
