// libFuzzer target for the chunk map's reader: a map is read for the package
// its own header names (so that fuzzed maps reach the entries), and either
// refused with the one message or read into chunks that obey every rule and
// encode back to exactly the same bytes. Fuzzer thread only.
#include <cstring>
#include <string_view>

#include "fuzz_check.h"
#include "release/chunk_map.h"
#include "release/chunk_map_builder.h"

namespace quarvel::fuzzing {
namespace {

void check_map(std::string_view bytes, const ChunkMap& map, uint64_t package_bytes) {
  require(map.package_bytes == package_bytes, "the package's size as asked");
  require(!map.chunks.empty(), "at least one chunk");
  uint64_t offset = 0;
  for (size_t i = 0; i < map.chunks.size(); ++i) {
    const ChunkEntry& chunk = map.chunks[i];
    require(chunk.offset == offset, "chunks in order without gaps");
    const bool last = i + 1 == map.chunks.size();
    require(chunk.length <= kMaxChunkBytes && chunk.length >= (last ? 1 : kMinChunkBytes),
            "chunk lengths within their bounds");
    offset += chunk.length;
  }
  require(offset == package_bytes, "lengths add up to the package's size");
  require(bytes.size() <= chunk_map_size_limit(package_bytes), "within the size bound");
  require(encode_chunk_map(map) == bytes, "encodes back to the same bytes");
}

}  // namespace
}  // namespace quarvel::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quarvel;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // The package the header names.
  const Result<ChunkMap> map = decode_self_described_chunk_map(bytes);
  if (!map.ok()) {
    fuzzing::require(map.message() == kChunkMapInvalidText, "the one refusal message");
    return 0;
  }
  uint64_t package_bytes = 0;
  std::memcpy(&package_bytes, data + 16, 8);  // little-endian, as the format
  fuzzing::check_map(bytes, *map, package_bytes);
  return 0;
}
