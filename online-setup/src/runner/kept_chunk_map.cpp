// The chunk map in the cache: kept, or fetched and kept. Install run's thread.
#include "runner/kept_chunk_map.h"

#include "runner/cache_files.h"
#include "runner/chunk_check.h"

namespace quarvel {
namespace {

// The map file's bytes when they have the size and digest the manifest
// names; "安装包的分块清单无效" for other bytes, the system error text when
// the file is missing or cannot be read.
Result<std::string> read_named_map(FileSystem& files,
                                   const std::string& path,
                                   const ChunkMapReference& named) {
  Result<std::string> bytes = read_file_up_to(files, path, named.bytes);
  if (!bytes)
    return bytes;
  ChunkHasher digest;
  digest.update(std::span(reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size()));
  if (bytes->size() != named.bytes || digest.finish() != named.sha256)
    return Failure{std::string(kChunkMapInvalidText)};
  return bytes;
}

// Fetches the map into its file; every byte is checked against the named
// digest as it arrives, as one chunk.
Status fetch_map(const DownloadEnvironment& env,
                 const std::string& cache_dir,
                 const ReleaseManifest& manifest,
                 uint64_t package_kept,
                 DownloadRequests& requests) {
  const ChunkMapReference& named = *manifest.chunk_map;
  const ChunkEntry whole = whole_file_chunk(named.bytes, named.sha256);
  ChunkCheck check(std::span(&whole, 1));
  const TransferTarget target{TransferKind::kChunkMap, chunk_map_path(cache_dir, manifest),
                              named.bytes, manifest.bytes, package_kept};
  return transfer_missing_bytes(env, cache_dir, target, 0, requests, &check);
}

}  // namespace

Result<ChunkMap> obtain_chunk_map(const DownloadEnvironment& env,
                                  const std::string& cache_dir,
                                  const ReleaseManifest& manifest,
                                  uint64_t package_kept,
                                  DownloadRequests& requests) {
  const std::string path = chunk_map_path(cache_dir, manifest);
  // A kept map that is missing, unreadable or another is fetched again over it,
  // and read back from the cache, not from memory.
  Result<std::string> map = read_named_map(env.files, path, *manifest.chunk_map);
  if (!map) {
    if (Status fetched = fetch_map(env, cache_dir, manifest, package_kept, requests); !fetched)
      return fetched.failure();
    map = read_named_map(env.files, path, *manifest.chunk_map);
    if (!map)
      return map.failure();
  }
  // The manifest rules accepted its digest: 64 hexadecimal digits.
  return decode_chunk_map(*map, manifest.bytes,
                          digest_from_hex(manifest.sha256).value_or(ChunkDigest{}));
}

}  // namespace quarvel
