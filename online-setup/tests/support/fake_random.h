// A RandomSource for unit tests: hands out the queued numbers, then 0 (the
// shortest wait wherever a draw spreads waits). One thread.
#pragma once

#include <deque>

#include "core/random_source.h"

namespace quarvel::testing_support {

struct QueuedRandom final : RandomSource {
  std::deque<uint64_t> numbers;
  uint64_t next() override {
    if (numbers.empty())
      return 0;
    const uint64_t number = numbers.front();
    numbers.pop_front();
    return number;
  }
};

}  // namespace quarvel::testing_support
