// Writing chunk maps: a package cut into its chunks in one pass, and the
// map's bytes (the format of release/chunk_map.h). The publisher's side,
// which the installer never needs. Pure apart from the hashing; the caller's
// thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "release/chunk_map.h"
#include "release/content_chunker.h"

namespace quarvel {

// The map's bytes in the format above. Cannot fail.
std::string encode_chunk_map(const ChunkMap& map);

// Builds the map of a byte stream fed in pieces of any size (the publisher's
// one pass over the package).
class ChunkMapBuilder {
 public:
  // Adds the bytes that follow those added so far. Cannot fail.
  void add(std::span<const uint8_t> bytes);
  // The map of everything added, for a package whose SHA-256 that is; an
  // empty stream gives no chunk. Ends the builder. nullopt when the
  // platform's hash provider was unusable.
  std::optional<ChunkMap> finish(const ChunkDigest& package_sha256);

 private:
  void end_chunk();

  ContentChunker chunker_;
  std::optional<ChunkHasher> chunk_digest_{std::in_place};
  bool hashed_ = true;        // every chunk's digest could be computed
  uint64_t offset_ = 0;       // bytes added so far
  uint64_t chunk_start_ = 0;  // where the open chunk began
  std::vector<ChunkEntry> chunks_;
};

}  // namespace quarvel
