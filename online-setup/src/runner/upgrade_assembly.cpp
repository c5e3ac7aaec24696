// Following the upgrade plan and reading the base. Install run's thread.
#include "runner/upgrade_assembly.h"

#include <algorithm>

namespace quarvel {
namespace {

// Up to `into.size()` bytes from `offset` on: fewer only where the file ends.
Result<size_t> read_at(ReadableFile& file, uint64_t offset, std::span<uint8_t> into) {
  if (Status sought = file.seek(offset); !sought)
    return sought.failure();
  size_t filled = 0;
  while (filled < into.size()) {
    const Result<size_t> got = file.read(into.subspan(filled));
    if (!got)
      return got.failure();
    if (*got == 0)
      break;
    filled += *got;
  }
  return filled;
}

}  // namespace

UpgradeAssembly::UpgradeAssembly(FileSystem& files,
                                 UpgradeBase base,
                                 std::span<const ChunkEntry> target)
    : files_(files),
      base_(std::move(base)),
      target_(target),
      planner_(target, base_.map.chunks),
      buffer_(std::make_unique_for_overwrite<uint8_t[]>(kMaxChunkBytes)) {}

UpgradeAssembly::Turn UpgradeAssembly::next(uint64_t offset) {
  const uint64_t end = target_.empty() ? 0 : target_.back().offset + target_.back().length;
  if (offset >= end)
    return Turn{false, {}, 0, offset};
  if (offset < step_.offset || offset >= step_.offset + step_.length)
    step_ = planner_.step_at(offset);
  if (!step_.copy)
    return Turn{false, {}, 0, step_.offset + step_.length};
  const auto chunk = std::partition_point(
      target_.begin(), target_.end(), [offset](const ChunkEntry& c) { return c.offset < offset; });
  return Turn{true, *chunk, step_.base_offset + (offset - step_.offset), 0};
}

Result<std::span<const uint8_t>> UpgradeAssembly::read(const Turn& copy) {
  const std::span<uint8_t> chunk(buffer_.get(), copy.chunk.length);
  const Result<size_t> got = read_base(copy.base_offset, chunk);
  if (!got) {
    planner_.drop_base();
    fetch_instead(copy.chunk.offset);
    return got.failure();
  }
  return std::span<const uint8_t>(chunk.first(*got));
}

Result<size_t> UpgradeAssembly::read_base(uint64_t offset, std::span<uint8_t> into) {
  if (!file_) {
    Result<std::unique_ptr<ReadableFile>> opened = files_.open_read(base_.path);
    if (!opened)
      return opened.failure();
    file_ = std::move(opened).value();
  }
  return read_at(*file_, offset, into);
}

void UpgradeAssembly::copy_failed(const Turn& copy) {
  planner_.set_aside(copy.base_offset);
  fetch_instead(copy.chunk.offset);
}

void UpgradeAssembly::fetch_instead(uint64_t offset) {
  step_ = planner_.fetch_at(offset);
}

UpgradeCost UpgradeAssembly::planned_from(uint64_t offset) const {
  return cost_of(plan_upgrade(target_, base_.map.chunks, offset));
}

}  // namespace quarvel
