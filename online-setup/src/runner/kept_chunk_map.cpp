// The chunk map in the cache: kept, or fetched and kept. Install run's thread.
#include "runner/kept_chunk_map.h"

#include <optional>

#include "runner/cache_files.h"
#include "runner/chunk_check.h"

namespace quarvel {
namespace {

// The map file's bytes when they have the size and digest the manifest
// names; nullopt for any other bytes, or none. The system error text when
// the file is there but cannot be read.
Result<std::optional<std::string>> matching_map(FileSystem& files,
                                                const std::string& path,
                                                const ChunkMapReference& named) {
  if (!files.file_size(path))
    return std::optional<std::string>();
  Result<std::string> bytes = read_file_up_to(files, path, named.bytes);
  if (!bytes)
    return bytes.failure();
  ChunkHasher digest;
  digest.update(std::span(reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size()));
  if (bytes->size() != named.bytes || digest.finish() != named.sha256)
    return std::optional<std::string>();
  return std::optional<std::string>(std::move(bytes).value());
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

Result<ChunkMap> read_map(std::string_view bytes, const ReleaseManifest& manifest) {
  const std::optional<ChunkDigest> package_sha256 = digest_from_hex(manifest.sha256);
  if (!package_sha256)
    return Failure{std::string(kChunkMapInvalidText)};
  return decode_chunk_map(bytes, manifest.bytes, *package_sha256);
}

}  // namespace

Result<ChunkMap> obtain_chunk_map(const DownloadEnvironment& env,
                                  const std::string& cache_dir,
                                  const ReleaseManifest& manifest,
                                  uint64_t package_kept,
                                  DownloadRequests& requests) {
  const std::string path = chunk_map_path(cache_dir, manifest);
  // A kept map that cannot be read is fetched again over it.
  const Result<std::optional<std::string>> kept =
      matching_map(env.files, path, *manifest.chunk_map);
  if (kept && *kept)
    return read_map(**kept, manifest);
  if (Status fetched = fetch_map(env, cache_dir, manifest, package_kept, requests); !fetched)
    return fetched.failure();
  // Checked again as it lies in the cache: it is read from there, not from memory.
  const Result<std::optional<std::string>> stored =
      matching_map(env.files, path, *manifest.chunk_map);
  if (!stored)
    return stored.failure();
  if (!*stored)
    return Failure{std::string(kChunkMapInvalidText)};
  return read_map(**stored, manifest);
}

}  // namespace quarvel
