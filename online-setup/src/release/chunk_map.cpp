// The chunk map's format: writing it, reading it strictly, and building it
// from a byte stream. The caller's thread.
#include "release/chunk_map.h"

#include <algorithm>
#include <cstring>

namespace quarvel {
namespace {

constexpr std::string_view kMagic = "QVCHUNKS";

void put_le(std::string& out, uint64_t value, size_t bytes) {
  for (size_t i = 0; i < bytes; ++i)
    out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

uint64_t get_le(std::string_view bytes, size_t at, size_t count) {
  uint64_t value = 0;
  for (size_t i = 0; i < count; ++i)
    value |= uint64_t{static_cast<uint8_t>(bytes[at + i])} << (8 * i);
  return value;
}

void put_digest(std::string& out, const ChunkDigest& digest) {
  out.append(reinterpret_cast<const char*>(digest.data()), digest.size());
}

ChunkDigest get_digest(std::string_view bytes, size_t at) {
  ChunkDigest digest;
  std::memcpy(digest.data(), bytes.data() + at, digest.size());
  return digest;
}

int hex_value(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

// A chunk's length is within the bounds for its place: every chunk but the
// last at least the minimum, none above the maximum, none empty.
bool length_fits(uint64_t length, bool last) {
  return length >= (last ? 1 : kMinChunkBytes) && length <= kMaxChunkBytes;
}

// The entries after the header, with their offsets; nullopt when a length
// breaks its bounds or the lengths do not add up to the package's size.
std::optional<std::vector<ChunkEntry>> read_entries(std::string_view bytes,
                                                    uint64_t count,
                                                    uint64_t package_bytes) {
  std::vector<ChunkEntry> chunks;
  chunks.reserve(static_cast<size_t>(count));
  uint64_t offset = 0;
  for (uint64_t i = 0; i < count; ++i) {
    const size_t at = static_cast<size_t>(kChunkMapHeaderBytes + i * kChunkMapEntryBytes);
    const uint64_t length = get_le(bytes, at, 4);
    if (!length_fits(length, i + 1 == count) || length > package_bytes - offset)
      return std::nullopt;
    chunks.push_back({offset, static_cast<uint32_t>(length), get_digest(bytes, at + 4)});
    offset += length;
  }
  if (offset != package_bytes)
    return std::nullopt;
  return chunks;
}

}  // namespace

uint64_t chunk_map_size_limit(uint64_t package_bytes) {
  const uint64_t most_chunks = (package_bytes + kMinChunkBytes - 1) / kMinChunkBytes;
  return kChunkMapHeaderBytes + most_chunks * kChunkMapEntryBytes;
}

std::string encode_chunk_map(const ChunkMap& map) {
  std::string out(kMagic);
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

Result<ChunkMap> decode_chunk_map(std::string_view bytes,
                                  uint64_t package_bytes,
                                  const ChunkDigest& package_sha256) {
  const Failure invalid{std::string(kChunkMapInvalidText)};
  if (bytes.size() < kChunkMapHeaderBytes || !bytes.starts_with(kMagic) ||
      get_le(bytes, 8, 4) != kChunkMapVersion) {
    return invalid;
  }
  const uint64_t count = get_le(bytes, 12, 4);
  if (count == 0 || bytes.size() != kChunkMapHeaderBytes + count * kChunkMapEntryBytes ||
      get_le(bytes, 16, 8) != package_bytes || get_digest(bytes, 24) != package_sha256) {
    return invalid;
  }
  std::optional<std::vector<ChunkEntry>> chunks = read_entries(bytes, count, package_bytes);
  if (!chunks)
    return invalid;
  return ChunkMap{package_bytes, package_sha256, std::move(*chunks)};
}

std::optional<ChunkDigest> digest_from_hex(std::string_view hex) {
  ChunkDigest digest;
  if (hex.size() != 2 * digest.size())
    return std::nullopt;
  for (size_t i = 0; i < digest.size(); ++i) {
    const int high = hex_value(hex[2 * i]);
    const int low = hex_value(hex[2 * i + 1]);
    if (high < 0 || low < 0)
      return std::nullopt;
    digest[i] = static_cast<uint8_t>(high << 4 | low);
  }
  return digest;
}

ChunkHasher::ChunkHasher() {
  if (ShaExtensionsSha256::available())
    extensions_.emplace();
  else
    platform_.emplace();
}

void ChunkHasher::update(std::span<const uint8_t> bytes) {
  if (extensions_)
    extensions_->update(bytes);
  else
    platform_->update(bytes);
}

std::optional<ChunkDigest> ChunkHasher::finish() {
  if (extensions_)
    return extensions_->finish();
  const std::vector<uint8_t> bytes = platform_->finish_bytes();
  ChunkDigest digest;
  if (bytes.size() != digest.size())
    return std::nullopt;
  std::copy(bytes.begin(), bytes.end(), digest.begin());
  return digest;
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
