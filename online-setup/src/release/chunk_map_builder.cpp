// Writing the chunk map: the chunks of a byte stream, and their encoding.
// The caller's thread.
#include "release/chunk_map_builder.h"

namespace quarvel {
namespace {

void put_le(std::string& out, uint64_t value, size_t bytes) {
  for (size_t i = 0; i < bytes; ++i)
    out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void put_digest(std::string& out, const ChunkDigest& digest) {
  out.append(reinterpret_cast<const char*>(digest.data()), digest.size());
}

}  // namespace

std::string encode_chunk_map(const ChunkMap& map) {
  std::string out(kChunkMapMagic);
  put_le(out, kChunkMapVersion, 4);
  put_le(out, map.chunks.size(), 4);
  put_le(out, map.package_bytes, 8);
  put_digest(out, map.package_sha256);
  for (const ChunkEntry& chunk : map.chunks) {
    put_le(out, chunk.length, 4);
    put_digest(out, chunk.sha256);
  }
  return out;
}

void ChunkMapBuilder::add(std::span<const uint8_t> bytes) {
  while (!bytes.empty()) {
    const ContentChunker::Cut cut = chunker_.scan(bytes);
    chunk_digest_->update(bytes.first(cut.used));
    offset_ += cut.used;
    if (cut.ends)
      end_chunk();
    bytes = bytes.subspan(cut.used);
  }
}

std::optional<ChunkMap> ChunkMapBuilder::finish(const ChunkDigest& package_sha256) {
  if (offset_ > chunk_start_)
    end_chunk();
  if (!hashed_)
    return std::nullopt;
  return ChunkMap{offset_, package_sha256, std::move(chunks_)};
}

void ChunkMapBuilder::end_chunk() {
  const std::optional<ChunkDigest> digest = chunk_digest_->finish();
  hashed_ = hashed_ && digest.has_value();
  chunks_.push_back({chunk_start_, static_cast<uint32_t>(offset_ - chunk_start_),
                     digest.value_or(ChunkDigest{})});
  chunk_start_ = offset_;
  chunk_digest_.emplace();
}

}  // namespace quarvel
