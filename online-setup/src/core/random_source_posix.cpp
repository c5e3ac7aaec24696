#include <sys/random.h>

#include "core/random_source.h"

namespace quarvel {

std::optional<uint64_t> operating_system_random() {
  uint64_t value = 0;
  if (getrandom(&value, sizeof(value), 0) != static_cast<ssize_t>(sizeof(value)))
    return std::nullopt;
  return value;
}

}  // namespace quarvel
