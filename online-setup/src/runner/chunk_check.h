// The download engine's check of package bytes against the chunk map, as
// they come, in order: each chunk's SHA-256 is computed from its bytes and
// compared the moment the chunk is complete, so a bad byte is caught within
// its chunk. It checks the bytes a response brings as well as those of a
// partial file that is resumed. Install run's thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "release/chunk_map.h"

namespace quarvel {

class ChunkCheck {
 public:
  // Checks the chunks in order from the one that starts at `start` (a chunk
  // boundary, or the end of the last chunk). `chunks` (in order, without
  // gaps, from offset 0) must outlive the check.
  explicit ChunkCheck(std::span<const ChunkEntry> chunks, uint64_t start = 0);
  ChunkCheck(const ChunkCheck&) = delete;
  ChunkCheck& operator=(const ChunkCheck&) = delete;

  // Takes the bytes that follow those taken so far. Returns the first chunk
  // they complete whose digest does not match (a digest that cannot be
  // computed counts as not matching); the check then stands at that chunk's
  // start, which is where the bytes must be cut back to, and later bytes of
  // the call are not looked at. nullopt when every chunk they complete
  // matches. Bytes past the last chunk are ignored.
  std::optional<ChunkEntry> take(std::span<const uint8_t> bytes);

  // Where the next byte belongs: the bytes taken so far, less any cut back.
  uint64_t position() const { return position_; }

  // The end of the last chunk that matched: everything before it is checked.
  uint64_t checked_end() const {
    return current_ < chunks_.size() ? chunks_[current_].offset : position_;
  }

 private:
  std::span<const ChunkEntry> chunks_;
  size_t current_ = 0;  // the chunk the next byte belongs to
  uint64_t position_ = 0;
  std::optional<ChunkHasher> digest_;  // of the current chunk's bytes so far
};

// The one-chunk list that checks a whole file of the given size and digest
// (the chunk map itself, against the size and digest its manifest names).
inline ChunkEntry whole_file_chunk(uint64_t bytes, const ChunkDigest& sha256) {
  return ChunkEntry{0, static_cast<uint32_t>(bytes), sha256};
}

}  // namespace quarvel
