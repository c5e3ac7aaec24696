#include <chrono>

#include "core/clock.h"

namespace quarvel {
namespace {

class SystemWallClock final : public WallClock {
 public:
  int64_t file_time_now() override {
    const auto since_1970 = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    return kUnixEpochAsFileTime + since_1970.count() / 100;
  }
};

}  // namespace

WallClock& system_wall_clock() {
  static SystemWallClock clock;
  return clock;
}

}  // namespace quarvel
