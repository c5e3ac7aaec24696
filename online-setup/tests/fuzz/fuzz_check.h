// The fuzz targets' one assertion: a broken property prints what broke and
// aborts, which libFuzzer reports as a crash with the input that caused it.
// Fuzzer thread only.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace quarvel::fuzzing {

inline void require(bool holds, const char* property) {
  if (holds)
    return;
  std::fprintf(stderr, "property violated: %s\n", property);
  std::abort();
}

}  // namespace quarvel::fuzzing
