// The upgrade plan's steps from two chunk maps. Pure; the caller's thread.
#include "release/upgrade_plan.h"

#include <algorithm>
#include <tuple>

namespace quarvel {
namespace {

uint64_t end_of(const ChunkEntry& chunk) {
  return chunk.offset + chunk.length;
}

}  // namespace

UpgradePlanner::UpgradePlanner(std::span<const ChunkEntry> target, std::span<const ChunkEntry> base)
    : target_(target) {
  sources_.reserve(base.size());
  for (const ChunkEntry& chunk : base)
    sources_.push_back({chunk.sha256, chunk.offset, chunk.length});
  std::sort(sources_.begin(), sources_.end(), [](const Source& a, const Source& b) {
    return std::tie(a.sha256, a.offset) < std::tie(b.sha256, b.offset);
  });
}

size_t UpgradePlanner::index_at(uint64_t offset) const {
  const auto found =
      std::partition_point(target_.begin(), target_.end(),
                           [offset](const ChunkEntry& chunk) { return chunk.offset < offset; });
  return static_cast<size_t>(found - target_.begin());
}

const UpgradePlanner::Source* UpgradePlanner::source_of(size_t index,
                                                        std::optional<uint64_t> at) const {
  const ChunkEntry& chunk = target_[index];
  auto found = std::lower_bound(
      sources_.begin(), sources_.end(), chunk.sha256,
      [](const Source& source, const ChunkDigest& digest) { return source.sha256 < digest; });
  for (; found != sources_.end() && found->sha256 == chunk.sha256; ++found) {
    if (found->usable && found->length == chunk.length && (!at || found->offset == *at))
      return &*found;
  }
  return nullptr;
}

UpgradeStep UpgradePlanner::step_at(uint64_t offset) const {
  size_t index = index_at(offset);
  const Source* source = source_of(index);
  if (source == nullptr)
    return fetch_from(index);
  UpgradeStep copy{true, offset, target_[index].length, source->offset};
  // The chunks that follow it in the base too: one step.
  while (++index < target_.size() && source_of(index, copy.base_offset + copy.length))
    copy.length += target_[index].length;
  return copy;
}

UpgradeStep UpgradePlanner::fetch_at(uint64_t offset) const {
  return fetch_from(index_at(offset));
}

size_t UpgradePlanner::copyable_run_end(size_t index, uint64_t room) const {
  for (; index < target_.size() && source_of(index); ++index) {
    if (target_[index].length > room)
      break;
    room -= target_[index].length;
  }
  return index;
}

UpgradeStep UpgradePlanner::fetch_from(size_t index) const {
  const uint64_t first = target_[index].offset;
  size_t end = index + 1;  // the chunks fetched: index .. end - 1
  while (end < target_.size()) {
    // The next chunk the base lacks, past a gap small enough to fetch.
    const size_t missing = copyable_run_end(end, kFetchedGapBytes);
    if (missing == target_.size() || source_of(missing) ||
        end_of(target_[missing]) - first > kLargestFetchBytes) {
      break;
    }
    end = missing + 1;
  }
  return UpgradeStep{false, first, end_of(target_[end - 1]) - first, 0};
}

void UpgradePlanner::set_aside(uint64_t base_offset) {
  for (Source& source : sources_) {
    if (source.offset == base_offset)
      source.usable = false;
  }
}

std::vector<UpgradeStep> plan_upgrade(std::span<const ChunkEntry> target,
                                      std::span<const ChunkEntry> base,
                                      uint64_t offset) {
  const UpgradePlanner planner(target, base);
  const uint64_t size = target.empty() ? 0 : end_of(target.back());
  std::vector<UpgradeStep> plan;
  while (offset < size) {
    plan.push_back(planner.step_at(offset));
    offset += plan.back().length;
  }
  return plan;
}

UpgradeCost cost_of(std::span<const UpgradeStep> plan) {
  UpgradeCost cost;
  for (const UpgradeStep& step : plan) {
    if (step.copy) {
      cost.copied += step.length;
    } else {
      cost.fetched += step.length;
      ++cost.ranges;
    }
  }
  return cost;
}

}  // namespace quarvel
