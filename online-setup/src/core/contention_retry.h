// The bounded retry of file and process operations that an on-access virus
// scanner or another agent may hold up for a moment: a sharing violation, a
// lock violation or access denied is tried again after growing waits, about
// 3 s in all; every other failure stands at once. Waits go through the run's
// clock and end early on a pause request. Runs on the install run's thread.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/clock.h"
#include "core/result.h"

namespace quarvel {

// The waits between attempts: six attempts over 3.1 s. Most holds last a few
// milliseconds and cost only the first 0.1 s; the last attempt comes late
// enough for a scan of a large file.
inline constexpr std::array<std::chrono::milliseconds, 5> kContentionWaits{
    std::chrono::milliseconds(100), std::chrono::milliseconds(200), std::chrono::milliseconds(400),
    std::chrono::milliseconds(800), std::chrono::milliseconds(1600)};

// True for ERROR_ACCESS_DENIED (5), ERROR_SHARING_VIOLATION (32) and
// ERROR_LOCK_VIOLATION (33): what another process holding the file causes.
bool is_file_contention(uint32_t system_error);

// What a retry waits with, and what ends it.
struct ContentionRetry {
  MonotonicClock& clock;
  const std::atomic<bool>& pause_requested;
  // The waiting step's own text for a pause seen during a wait; empty when
  // the step has none, and the last failure then stands.
  std::string_view pause_text;
};

// Runs the operation (returning a Result) until it succeeds or fails with
// something other than contention, at most 1 + kContentionWaits.size() times.
// When the attempts run out, the last failure (its system error text); when
// a pause ends a wait, the pause text or else that last failure.
template <class Operation>
auto retry_on_contention(const ContentionRetry& retry, Operation&& operation)
    -> decltype(operation()) {
  auto result = operation();
  for (const std::chrono::milliseconds wait : kContentionWaits) {
    if (result.ok() || !is_file_contention(result.failure().system_error))
      return result;
    if (!wait_unless_paused(retry.clock, retry.pause_requested, wait)) {
      if (retry.pause_text.empty())
        return result;
      return Failure{std::string(retry.pause_text)};
    }
    result = operation();
  }
  return result;
}

}  // namespace quarvel
