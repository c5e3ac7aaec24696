// The download engine's side of an upgrade: the plan of copies and ranges
// followed from wherever the partial file ends, and the base read for the
// chunks it copies. The segment transfer checks and writes what is copied
// and fetches the ranges, so the partial file stays a checked prefix. Runs on
// the install run's thread.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "core/file_system.h"
#include "core/result.h"
#include "release/chunk_map.h"
#include "release/upgrade_plan.h"
#include "runner/upgrade_base.h"

namespace quarvel {

class UpgradeAssembly {
 public:
  // `target` (the new package's chunks) outlives the assembly. The base is
  // opened on the first copy, and closed with the assembly.
  UpgradeAssembly(FileSystem& files, UpgradeBase base, std::span<const ChunkEntry> target);
  UpgradeAssembly(const UpgradeAssembly&) = delete;
  UpgradeAssembly& operator=(const UpgradeAssembly&) = delete;

  // What comes next where the partial file ends.
  struct Turn {
    bool copy = false;
    ChunkEntry chunk;          // a copy's chunk of the new package
    uint64_t base_offset = 0;  // where its bytes lie in the base
    uint64_t fetch_end = 0;    // else the end of the range to fetch
  };

  // The turn at `offset`: the next chunk of a copy, or the rest of the range
  // under way (an attempt that broke off, a chunk cut back), else the plan's
  // next step. At the package's end: a fetch that ends there. Cannot fail.
  Turn next(uint64_t offset);

  // The copy's bytes read from the base: fewer than the chunk's length where
  // the base ends early. The system error text when the base cannot be
  // opened or read; nothing more is copied then, and the chunk is fetched.
  Result<std::span<const uint8_t>> read(const Turn& copy);

  // The copy's bytes did not match, or were short: that base chunk is set
  // aside and the chunk is fetched. Cannot fail.
  void copy_failed(const Turn& copy);

  // What the plan copies and fetches from `offset` on (a chunk boundary).
  UpgradeCost planned_from(uint64_t offset) const;

  const std::string& base_name() const { return base_.file_name; }

 private:
  void fetch_instead(uint64_t offset);
  // Bytes of the base from `offset` on (opened on first use).
  Result<size_t> read_base(uint64_t offset, std::span<uint8_t> into);

  FileSystem& files_;
  UpgradeBase base_;
  std::span<const ChunkEntry> target_;
  UpgradePlanner planner_;
  std::unique_ptr<ReadableFile> file_;  // the base, once opened
  std::unique_ptr<uint8_t[]> buffer_;   // one chunk at the most
  UpgradeStep step_{};                  // the step under way
};

}  // namespace quarvel
