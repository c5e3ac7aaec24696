// A RandomSource for unit tests that always draws the number the test set
// (0 by default: the shortest wait wherever a draw spreads waits). One thread.
#pragma once

#include "core/random_source.h"

namespace quarvel::testing_support {

struct FixedRandom final : RandomSource {
  uint64_t number = 0;
  uint64_t next() override { return number; }
};

}  // namespace quarvel::testing_support
