// The benchmarks' one output line. Main thread only.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>

namespace quarvel::bench {

using Clock = std::chrono::steady_clock;

// Prints "<what>: <MB/s> MB/s (<bytes> bytes in <seconds> s) <detail>", MB
// being 1,048,576 bytes.
inline void report(const char* what, uint64_t bytes, Clock::time_point start, const char* detail) {
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("%s: %.1f MB/s (%llu bytes in %.3f s) %s\n", what,
              static_cast<double>(bytes) / 1048576.0 / seconds,
              static_cast<unsigned long long>(bytes), seconds, detail);
}

}  // namespace quarvel::bench
