// The chunk map: where the chunker cuts (content-defined, so an insertion
// moves only nearby boundaries), the map's bound, and its strict reader.
#include "release/chunk_map.h"
#include "release/chunk_map_builder.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "core/sha256.h"
#include "support/fixtures.h"

namespace quarvel {
namespace {

using testing_support::package_bytes;

std::span<const uint8_t> bytes_of(const std::string& text) {
  return std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

ChunkMap map_of(const std::string& data, size_t piece = 65536) {
  ChunkMapBuilder builder;
  for (size_t at = 0; at < data.size(); at += piece)
    builder.add(bytes_of(data).subspan(at, std::min(piece, data.size() - at)));
  return builder.finish(*digest_from_hex(sha256_hex(data))).value();
}

// Where the chunks end, as offsets in the data.
std::vector<uint64_t> boundaries(const ChunkMap& map) {
  std::vector<uint64_t> ends;
  for (const ChunkEntry& chunk : map.chunks)
    ends.push_back(chunk.offset + chunk.length);
  return ends;
}

TEST(ContentChunker, ChunksStayWithinTheirBoundsWhateverThePiecesFed) {
  const std::string data = package_bytes(4 << 20);
  const ChunkMap map = map_of(data);
  EXPECT_EQ(map_of(data, 1), map) << "byte by byte";
  EXPECT_EQ(map_of(data, 100003), map);
  for (size_t i = 0; i + 1 < map.chunks.size(); ++i) {
    EXPECT_GE(map.chunks[i].length, kMinChunkBytes);
    EXPECT_LE(map.chunks[i].length, kMaxChunkBytes);
  }
  EXPECT_NEAR(double(data.size()) / double(map.chunks.size()), kAverageChunkBytes, 16384);
  // Content without any boundary (a run of one byte) is cut at the maximum.
  EXPECT_EQ(map_of(std::string(1 << 20, '\0')).chunks.size(), 4u);
}

// Bytes inserted into, or removed from, the middle of a package change the
// boundaries of at most the two chunks after the change: the others are the
// same bytes, with the same digests, at shifted offsets.
TEST(ContentChunker, AnInsertionOrDeletionMovesOnlyTheBoundariesAroundIt) {
  const std::string data = package_bytes(4 << 20);
  const uint64_t at = 1'500'000;
  const std::vector<uint64_t> before = boundaries(map_of(data));
  for (const int64_t change : {100, -5000}) {
    SCOPED_TRACE(change);
    std::string changed = data;
    if (change > 0)
      changed.insert(at, package_bytes(change, 7));
    else
      changed.erase(at, -change);
    std::set<uint64_t> after;
    for (const uint64_t end : boundaries(map_of(changed)))
      after.insert(end <= at ? end : end - change);
    size_t moved = 0;
    for (const uint64_t end : before)
      moved += after.count(end) == 0;
    EXPECT_LE(moved, 2u);
    EXPECT_TRUE(after.count(before.front()) && after.count(before.back()));
    std::set<ChunkDigest> old_digests, new_digests;
    for (const ChunkEntry& chunk : map_of(data).chunks)
      old_digests.insert(chunk.sha256);
    for (const ChunkEntry& chunk : map_of(changed).chunks)
      new_digests.insert(chunk.sha256);
    size_t kept = 0;
    for (const ChunkDigest& digest : new_digests)
      kept += old_digests.count(digest);
    EXPECT_GE(kept + 3, old_digests.size()) << "all but the chunks around the change are reused";
  }
}

TEST(ChunkMap, TheMapOfAnyPackageFitsItsBound) {
  EXPECT_EQ(chunk_map_size_limit(4'294'967'295), 9'437'240u);
  EXPECT_EQ(chunk_map_size_limit(20'000'000), 44'012u);
  // The most chunks a package can have: all of the least size but the last.
  for (const uint64_t size : {uint64_t{1'048'577}, uint64_t{20'000'000}, uint64_t{16384} * 100}) {
    ChunkMap most{size, {}, {}};
    for (uint64_t offset = 0; offset < size; offset += kMinChunkBytes)
      most.chunks.push_back(
          {offset, static_cast<uint32_t>(std::min<uint64_t>(kMinChunkBytes, size - offset)), {}});
    const std::string encoded = encode_chunk_map(most);
    EXPECT_EQ(encoded.size(), chunk_map_size_limit(size)) << size;
    EXPECT_EQ(decode_chunk_map(encoded, size, {}).value(), most);
  }
}

// A valid map of three chunks, and the same with one thing broken.
TEST(ChunkMap, TheReaderRefusesEveryBrokenMap) {
  const std::string data = package_bytes(300'000);
  const ChunkDigest digest = *digest_from_hex(sha256_hex(data));
  const ChunkMap map = map_of(data);
  ASSERT_GE(map.chunks.size(), 3u);
  const std::string valid = encode_chunk_map(map);
  ASSERT_EQ(decode_chunk_map(valid, data.size(), digest).value(), map);

  const auto with = [&](const std::function<void(ChunkMap&)>& edit) {
    ChunkMap copy = map;
    edit(copy);
    return encode_chunk_map(copy);
  };
  const auto patched = [&](size_t at, std::string_view bytes) {
    std::string copy = valid;
    copy.replace(at, bytes.size(), bytes);
    return copy;
  };
  const size_t first_length = kChunkMapHeaderBytes;
  struct Case {
    const char* name;
    std::string bytes;
    uint64_t package_bytes;
    ChunkDigest package_sha256;
  };
  ChunkDigest other = digest;
  other[31] ^= 1;
  const std::vector<Case> cases{
      {"empty", "", data.size(), digest},
      {"header only", valid.substr(0, kChunkMapHeaderBytes), data.size(), digest},
      {"one byte short", valid.substr(0, valid.size() - 1), data.size(), digest},
      {"one byte more", valid + '\0', data.size(), digest},
      {"another magic", patched(0, "QVCHUNKZ"), data.size(), digest},
      {"version 2", patched(8, std::string("\2", 1)), data.size(), digest},
      {"no chunks", with([](ChunkMap& m) { m.chunks.clear(); }), data.size(), digest},
      {"a count beyond the entries", patched(12, std::string("\xFF\xFF\xFF\xFF", 4)), data.size(),
       digest},
      {"another package size", valid, data.size() + 1, digest},
      {"another package digest", valid, data.size(), other},
      {"a first chunk below the least size", with([](ChunkMap& m) {
         m.chunks[0].length = kMinChunkBytes - 1;
         m.chunks[1].length += 1;
       }),
       data.size(), digest},
      {"a chunk above the largest size", with([](ChunkMap& m) {
         m.package_bytes = kMaxChunkBytes + 1;
         m.chunks[0].length = kMaxChunkBytes + 1;
         m.chunks.resize(1);
       }),
       kMaxChunkBytes + 1, digest},
      {"an empty last chunk", with([](ChunkMap& m) { m.chunks.push_back({}); }), data.size(),
       digest},
      {"lengths short of the size", with([](ChunkMap& m) { m.chunks.back().length -= 1; }),
       data.size(), digest},
      {"lengths past the size", patched(first_length, std::string("\xFF\xFF\x03\x00", 4)),
       data.size(), digest},
  };
  for (const Case& c : cases) {
    const Result<ChunkMap> read = decode_chunk_map(c.bytes, c.package_bytes, c.package_sha256);
    ASSERT_FALSE(read) << c.name;
    EXPECT_EQ(read.message(), kChunkMapInvalidText) << c.name;
  }
}

}  // namespace
}  // namespace quarvel
