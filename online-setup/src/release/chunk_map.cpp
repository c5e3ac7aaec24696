// The chunk map's format read strictly, and the hashing of chunks. The
// caller's thread.
#include "release/chunk_map.h"

#include <algorithm>
#include <cstring>

namespace quarvel {
namespace {

// The largest package the manifest rules accept.
constexpr uint64_t kLargestPackageBytes = 4'294'967'295;

uint64_t get_le(std::string_view bytes, size_t at, size_t count) {
  uint64_t value = 0;
  for (size_t i = 0; i < count; ++i)
    value |= uint64_t{static_cast<uint8_t>(bytes[at + i])} << (8 * i);
  return value;
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

// Reads the entries after the header into the map's chunks, with their
// offsets; false when a length breaks its bounds or the lengths do not add
// up to the package's size.
bool read_entries(std::string_view bytes, ChunkMap& map) {
  uint64_t offset = 0;
  for (size_t i = 0; i < map.chunks.size(); ++i) {
    const size_t at = static_cast<size_t>(kChunkMapHeaderBytes + i * kChunkMapEntryBytes);
    const uint64_t length = get_le(bytes, at, 4);
    if (!length_fits(length, i + 1 == map.chunks.size()) || length > map.package_bytes - offset) {
      return false;
    }
    map.chunks[i] = {offset, static_cast<uint32_t>(length), get_digest(bytes, at + 4)};
    offset += length;
  }
  return offset == map.package_bytes;
}

}  // namespace

uint64_t chunk_map_size_limit(uint64_t package_bytes) {
  const uint64_t most_chunks = (package_bytes + kMinChunkBytes - 1) / kMinChunkBytes;
  return kChunkMapHeaderBytes + most_chunks * kChunkMapEntryBytes;
}

Result<ChunkMap> decode_chunk_map(std::string_view bytes,
                                  uint64_t package_bytes,
                                  const ChunkDigest& package_sha256) {
  const Failure invalid{std::string(kChunkMapInvalidText)};
  if (bytes.size() < kChunkMapHeaderBytes || !bytes.starts_with(kChunkMapMagic) ||
      get_le(bytes, 8, 4) != kChunkMapVersion) {
    return invalid;
  }
  const uint64_t count = get_le(bytes, 12, 4);
  if (count == 0 || bytes.size() != kChunkMapHeaderBytes + count * kChunkMapEntryBytes ||
      get_le(bytes, 16, 8) != package_bytes || get_digest(bytes, 24) != package_sha256) {
    return invalid;
  }
  ChunkMap map{package_bytes, package_sha256, std::vector<ChunkEntry>(static_cast<size_t>(count))};
  if (!read_entries(bytes, map))
    return invalid;
  return map;
}

Result<ChunkMap> decode_self_described_chunk_map(std::string_view bytes) {
  if (bytes.size() < kChunkMapHeaderBytes)
    return Failure{std::string(kChunkMapInvalidText)};
  return decode_chunk_map(bytes, get_le(bytes, 16, 8), get_digest(bytes, 24));
}

uint64_t largest_chunk_map_size() {
  return chunk_map_size_limit(kLargestPackageBytes);
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

}  // namespace quarvel
