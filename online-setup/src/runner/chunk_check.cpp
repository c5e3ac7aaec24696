// Chunk by chunk hashing of package bytes in order. Install run's thread.
#include "runner/chunk_check.h"

#include <algorithm>

namespace quarvel {

ChunkCheck::ChunkCheck(std::span<const ChunkEntry> chunks, uint64_t start)
    : chunks_(chunks), position_(start), digest_(std::in_place) {
  const auto first =
      std::partition_point(chunks.begin(), chunks.end(),
                           [start](const ChunkEntry& chunk) { return chunk.offset < start; });
  current_ = static_cast<size_t>(first - chunks.begin());
}

std::optional<ChunkEntry> ChunkCheck::take(std::span<const uint8_t> bytes) {
  while (!bytes.empty() && current_ < chunks_.size()) {
    const ChunkEntry& chunk = chunks_[current_];
    const uint64_t chunk_end = chunk.offset + chunk.length;
    const size_t part =
        static_cast<size_t>(std::min<uint64_t>(chunk_end - position_, bytes.size()));
    digest_->update(bytes.first(part));
    position_ += part;
    bytes = bytes.subspan(part);
    if (position_ < chunk_end)
      return std::nullopt;
    const bool matches = digest_->finish() == chunk.sha256;
    digest_.emplace();
    if (!matches) {
      position_ = chunk.offset;
      return chunk;
    }
    ++current_;
  }
  return std::nullopt;
}

}  // namespace quarvel
