#include <windows.h>

#include "core/clock.h"

namespace quarvel {
namespace {

class SystemWallClock final : public WallClock {
 public:
  int64_t file_time_now() override {
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    return static_cast<int64_t>((uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime);
  }
};

}  // namespace

WallClock& system_wall_clock() {
  static SystemWallClock clock;
  return clock;
}

}  // namespace quarvel
