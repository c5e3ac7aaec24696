// The contention test and the pausable wait of the retry policy. Runs on the
// install run's thread.
#include "core/contention_retry.h"

#include <algorithm>

namespace quarvel {

bool is_file_contention(uint32_t system_error) {
  constexpr uint32_t kAccessDenied = 5;
  constexpr uint32_t kSharingViolation = 32;
  constexpr uint32_t kLockViolation = 33;
  return system_error == kAccessDenied || system_error == kSharingViolation ||
         system_error == kLockViolation;
}

bool wait_unless_paused(const ContentionRetry& retry, std::chrono::nanoseconds wait) {
  const std::chrono::nanoseconds started = retry.clock.now();
  for (;;) {
    if (retry.pause_requested.load())
      return false;
    const std::chrono::nanoseconds left = wait - (retry.clock.now() - started);
    if (left <= std::chrono::nanoseconds::zero())
      return true;
    retry.clock.sleep_for(std::min<std::chrono::nanoseconds>(left, kContentionPausePoll));
  }
}

}  // namespace quarvel
