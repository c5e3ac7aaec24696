// The chunk map: where the chunker cuts (content-defined, so an insertion
// moves only nearby boundaries), the map's bound, and its strict reader.
#include "release/chunk_map.h"
#include "release/chunk_map_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// The chunks' digests.
std::multiset<ChunkDigest> digests(const ChunkMap& map) {
  std::multiset<ChunkDigest> all;
  for (const ChunkEntry& chunk : map.chunks)
    all.insert(chunk.sha256);
  return all;
}

TEST(ContentChunker, ChunksStayWithinTheirBoundsWhateverThePiecesFed) {
  const std::string data = package_bytes(4 << 20);
  const ChunkMap map = map_of(data);
  EXPECT_EQ(map_of(data, 1), map) << "byte by byte";
  for (size_t i = 0; i + 1 < map.chunks.size(); ++i) {
    EXPECT_GE(map.chunks[i].length, kMinChunkBytes);
    EXPECT_LE(map.chunks[i].length, kMaxChunkBytes);
  }
  EXPECT_NEAR(double(data.size()) / double(map.chunks.size()), kAverageChunkBytes, 16384);
  // Content without any boundary (a run of one byte) is cut at the maximum.
  EXPECT_EQ(map_of(std::string(1 << 20, '\0')).chunks.size(), 4u);
}

// Bytes inserted into, or removed from, the middle of a package move the
// boundaries around the change only: every other chunk keeps its bytes and
// its digest, at a shifted offset.
TEST(ContentChunker, AnInsertionOrDeletionMovesOnlyTheBoundariesAroundIt) {
  const std::string data = package_bytes(4 << 20);
  const std::multiset<ChunkDigest> before = digests(map_of(data));
  for (const std::string& changed :
       {data.substr(0, 1'500'000) + package_bytes(100, 7) + data.substr(1'500'000),
        data.substr(0, 1'500'000) + data.substr(1'505'000)}) {
    const std::multiset<ChunkDigest> after = digests(map_of(changed));
    std::vector<ChunkDigest> kept;
    std::set_intersection(before.begin(), before.end(), after.begin(), after.end(),
                          std::back_inserter(kept));
    EXPECT_GE(kept.size() + 2, before.size()) << "at most two chunks change";
  }
}

TEST(ChunkMap, TheMapOfAnyPackageFitsItsBound) {
  EXPECT_EQ(chunk_map_size_limit(4'294'967'295), 9'437'240u);
  EXPECT_EQ(chunk_map_size_limit(20'000'000), 44'012u);
  // The most chunks a package can have: all of the least size but the last.
  for (const uint64_t size : {uint64_t{1'048'577}, uint64_t{16384} * 100}) {
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
  // Read for the package of `data` unless a row says otherwise.
  struct Case {
    const char* name;
    std::string bytes;
    uint64_t package_bytes = 0;
    bool other_digest = false;
  };
  const std::vector<Case> cases{
      {"empty", ""},
      {"header only", valid.substr(0, kChunkMapHeaderBytes)},
      {"one byte short", valid.substr(0, valid.size() - 1)},
      {"one byte more", valid + '\0'},
      {"another magic", patched(0, "QVCHUNKZ")},
      {"version 2", patched(8, std::string("\2", 1))},
      {"no chunks", with([](ChunkMap& m) { m.chunks.clear(); })},
      {"a count beyond the entries", patched(12, std::string("\xFF\xFF\xFF\xFF", 4))},
      {"another package size", valid, data.size() + 1},
      {"another package digest", valid, 0, true},
      {"a first chunk below the least size", with([](ChunkMap& m) {
         m.chunks[0].length = kMinChunkBytes - 1;
         m.chunks[1].length += 1;
       })},
      {"a chunk above the largest size", with([](ChunkMap& m) {
         m.package_bytes = kMaxChunkBytes + 1;
         m.chunks[0].length = kMaxChunkBytes + 1;
         m.chunks.resize(1);
       }),
       kMaxChunkBytes + 1},
      {"an empty last chunk", with([](ChunkMap& m) { m.chunks.push_back({}); })},
      {"lengths short of the size", with([](ChunkMap& m) { m.chunks.back().length -= 1; })},
      {"lengths past the size", patched(kChunkMapHeaderBytes, std::string("\xFF\xFF\x03\x00", 4))},
  };
  ChunkDigest other = digest;
  other[31] ^= 1;
  for (const Case& c : cases) {
    const Result<ChunkMap> read = decode_chunk_map(
        c.bytes, c.package_bytes ? c.package_bytes : data.size(), c.other_digest ? other : digest);
    ASSERT_FALSE(read) << c.name;
    EXPECT_EQ(read.message(), kChunkMapInvalidText) << c.name;
  }
}

}  // namespace
}  // namespace quarvel
