// The chunk map of a setup package: every chunk's length and SHA-256, in
// order, so that the installer can check the package chunk by chunk as it
// arrives, and reuse chunks it already holds. The publisher writes it beside
// the package (its name followed by ".chunks"); the signed manifest names
// its size and digest. Pure apart from the hashing; the caller's thread.
//
// The format, version 1 (integers little-endian):
//   offset  0, 8 bytes   "QVCHUNKS"
//   offset  8, 4 bytes   version: 1, which names the chunking
//                        (content_chunker.h) and SHA-256
//   offset 12, 4 bytes   the number of chunks N, at least 1
//   offset 16, 8 bytes   the package's size
//   offset 24, 32 bytes  the package's SHA-256
//   offset 56, N x 36    per chunk, in package order: its length (4 bytes),
//                        then its SHA-256 (32 bytes)
// Nothing follows. Every chunk but the last has kMinChunkBytes to
// kMaxChunkBytes bytes, the last 1 to kMaxChunkBytes, and the lengths add up
// to the package's size. So a map has at most 56 + 36 x ceil(size / 16,384)
// bytes (chunk_map_size_limit): 9,437,240 for the largest package
// (4,294,967,295 bytes), 44,012 for 20,000,000 bytes; a typical map is a
// quarter of that or less.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/result.h"
#include "core/sha256.h"
#include "core/sha256_extensions.h"
#include "release/content_chunker.h"  // the chunking the version names

namespace quarvel {

using ChunkDigest = std::array<uint8_t, 32>;

// One chunk of the package.
struct ChunkEntry {
  uint64_t offset = 0;  // its first byte in the package
  uint32_t length = 0;
  ChunkDigest sha256{};
  bool operator==(const ChunkEntry&) const = default;
};

struct ChunkMap {
  uint64_t package_bytes = 0;
  ChunkDigest package_sha256{};
  std::vector<ChunkEntry> chunks;  // in order, without gaps
  bool operator==(const ChunkMap&) const = default;
};

// The map a signed manifest names: its exact size and SHA-256.
struct ChunkMapReference {
  uint64_t bytes = 0;
  ChunkDigest sha256{};
  bool operator==(const ChunkMapReference&) const = default;
};

inline constexpr std::string_view kChunkMapMagic = "QVCHUNKS";
inline constexpr uint32_t kChunkMapVersion = 1;
inline constexpr uint64_t kChunkMapHeaderBytes = 56;
inline constexpr uint64_t kChunkMapEntryBytes = 36;

// "安装包的分块清单无效": a map that breaks any rule of the format.
inline constexpr std::string_view kChunkMapInvalidText = "安装包的分块清单无效";

// The most bytes the map of a package of this size can have. Cannot fail.
uint64_t chunk_map_size_limit(uint64_t package_bytes);

// Reads a map strictly: the format above, for a package of `package_bytes`
// bytes whose SHA-256 is `package_sha256`. kChunkMapInvalidText for any
// difference.
Result<ChunkMap> decode_chunk_map(std::string_view bytes,
                                  uint64_t package_bytes,
                                  const ChunkDigest& package_sha256);

// Reads a map strictly for the package its own header names (a kept map of
// another package, one to compare with): decode_chunk_map for the size and
// digest at offsets 16 and 24. kChunkMapInvalidText for any difference.
Result<ChunkMap> decode_self_described_chunk_map(std::string_view bytes);

// The most bytes any map can have: that of the largest package.
uint64_t largest_chunk_map_size();

// The digest of 64 hexadecimal digits (either case); nullopt for any other text.
std::optional<ChunkDigest> digest_from_hex(std::string_view hex);

// The SHA-256 of chunks: with the processor's SHA extensions where it has
// them (every byte of a download is hashed on its thread as it arrives), else
// with the platform's. One object per chunk.
class ChunkHasher {
 public:
  ChunkHasher();
  // Cannot fail.
  void update(std::span<const uint8_t> bytes) {
    if (extensions_)
      extensions_->update(bytes);
    else
      platform_->update(bytes);
  }
  // The digest of the bytes; nullopt when the platform's hash provider was
  // unusable. Ends the computation.
  std::optional<ChunkDigest> finish();

 private:
  std::optional<ShaExtensionsSha256> extensions_;
  std::optional<Sha256> platform_;
};

}  // namespace quarvel
