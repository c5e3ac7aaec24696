// A StatusReporter for unit tests that keeps every text and percent in order.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "runner/run_status.h"

namespace quarvel::testing_support {

struct StatusUpdate {
  std::string text;
  uint32_t percent = 0;
  bool operator==(const StatusUpdate&) const = default;
  friend std::ostream& operator<<(std::ostream& out, const StatusUpdate& update) {
    return out << "{\"" << update.text << "\", " << update.percent << "}";
  }
};

class RecordingStatus final : public StatusReporter {
 public:
  std::vector<StatusUpdate> updates;
  std::optional<PackageSources> sources;  // the last noted
  void note_sources(const std::optional<PackageSources>& noted) override { sources = noted; }
  // Runs after each update is recorded.
  std::function<void(const StatusUpdate&)> on_update;
  void set_status(std::string_view text, uint32_t percent) override {
    updates.push_back({std::string(text), percent});
    if (on_update)
      on_update(updates.back());
  }
};

}  // namespace quarvel::testing_support
