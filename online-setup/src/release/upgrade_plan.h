// The plan of an upgrade, decided from two chunk maps alone: which bytes of
// the new package are copied from a package of another build already in the
// cache (the base) and which ranges are fetched. The installer follows it
// chunk by chunk; the publisher prints what it costs. Shared by both, like
// the chunk map itself. Pure; the caller's thread (the install run's, the
// publisher's).
//
// The rule: a chunk whose digest the base has is copied; runs of chunks the
// base lacks are fetched, adjacent ones in one range of at most 8 MiB (the
// largest range request). Copyable chunks between two fetched runs are
// fetched with them when they are at most kFetchedGapBytes in all and the
// range stays within 8 MiB: every range costs a request of its own (a new
// connection, a TLS handshake and a first byte: two round trips or more,
// which at 20 Mbit/s and 50 ms carry about 250 KB), so fetching up to
// 128 KiB more saves more time than it costs on all but the slowest links,
// and never costs more than two average chunks.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "release/chunk_map.h"

namespace quarvel {

inline constexpr uint64_t kLargestFetchBytes = 8388608;
inline constexpr uint64_t kFetchedGapBytes = 131072;

// Whole chunks of the new package, copied or fetched.
struct UpgradeStep {
  bool copy = false;         // from the base; else fetched
  uint64_t offset = 0;       // the first byte in the new package
  uint64_t length = 0;       // bytes
  uint64_t base_offset = 0;  // a copy's first byte in the base
  bool operator==(const UpgradeStep&) const = default;
};

class UpgradePlanner {
 public:
  // `target`: the new package's chunks; `base`: the base's. Both are in
  // order without gaps (as a map reads them) and outlive the planner.
  UpgradePlanner(std::span<const ChunkEntry> target, std::span<const ChunkEntry> base);

  // The step that begins with the target chunk at `offset` (a chunk
  // boundary below the package's size): a copy of that chunk and of those
  // that follow it in the base too, or a fetch as the rule says. Cannot fail.
  UpgradeStep step_at(uint64_t offset) const;

  // A fetch that begins with the target chunk at `offset`, whatever the base
  // holds of it (its copy failed). Cannot fail.
  UpgradeStep fetch_at(uint64_t offset) const;

  // The base chunk at `base_offset` is not copied again (it did not match,
  // or could not be read whole). Cannot fail.
  void set_aside(uint64_t base_offset);

  // Nothing more is copied: the base cannot be read. Cannot fail.
  void drop_base() { sources_.clear(); }

 private:
  struct Source {
    ChunkDigest sha256{};
    uint64_t offset = 0;
    uint32_t length = 0;
    bool usable = true;
  };

  size_t index_at(uint64_t offset) const;
  // A usable base chunk with the target chunk's content; at `at` if given.
  const Source* source_of(size_t index, std::optional<uint64_t> at = std::nullopt) const;
  UpgradeStep fetch_from(size_t index) const;
  // The end of the run of copyable chunks from `index` on that fit in
  // `room` bytes, stopping at the first the base lacks.
  size_t copyable_run_end(size_t index, uint64_t room) const;

  std::span<const ChunkEntry> target_;
  std::vector<Source> sources_;  // the base's chunks by digest, then offset
};

// The whole plan from the target chunk at `offset` on (0: the whole package).
// Cannot fail.
std::vector<UpgradeStep> plan_upgrade(std::span<const ChunkEntry> target,
                                      std::span<const ChunkEntry> base,
                                      uint64_t offset = 0);

// What a plan costs: bytes copied and fetched, and the ranges fetched (one
// request each while nothing fails).
struct UpgradeCost {
  uint64_t copied = 0;
  uint64_t fetched = 0;
  uint32_t ranges = 0;
  bool operator==(const UpgradeCost&) const = default;
};

// Cannot fail.
UpgradeCost cost_of(std::span<const UpgradeStep> plan);

}  // namespace quarvel
