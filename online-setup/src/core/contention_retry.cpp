// The contention test of the retry policy. Runs on the install run's thread.
#include "core/contention_retry.h"

namespace quarvel {

bool is_file_contention(uint32_t system_error) {
  constexpr uint32_t kAccessDenied = 5;
  constexpr uint32_t kSharingViolation = 32;
  constexpr uint32_t kLockViolation = 33;
  return system_error == kAccessDenied || system_error == kSharingViolation ||
         system_error == kLockViolation;
}

}  // namespace quarvel
