// Looking for the base of an upgrade among the cache's files. Install run's
// thread.
#include "runner/upgrade_base.h"

#include <algorithm>
#include <vector>

#include "core/paths.h"
#include "runner/cache_files.h"

namespace quarvel {
namespace {

// A package file or a kept map of the cache.
struct CachedFile {
  uint64_t build = 0;
  std::string sha256;  // a map's
  std::string name;
};

// The kept map at `path` when it reads strictly and names the package its
// file name does.
std::optional<ChunkMap> read_kept_map(FileSystem& files,
                                      const std::string& path,
                                      const std::string& sha256) {
  const Result<std::string> bytes = read_file_up_to(files, path, largest_chunk_map_size());
  if (!bytes)
    return std::nullopt;
  Result<ChunkMap> map = decode_self_described_chunk_map(*bytes);
  if (!map || digest_from_hex(sha256) != map->package_sha256)
    return std::nullopt;
  return std::move(map).value();
}

}  // namespace

std::optional<UpgradeBase> find_upgrade_base(FileSystem& files,
                                             const std::string& cache_dir,
                                             const ReleaseManifest& manifest) {
  const Result<std::vector<std::string>> names = files.list_files(cache_dir);
  if (!names)
    return std::nullopt;
  std::vector<CachedFile> maps;
  std::vector<CachedFile> packages;
  for (const std::string& name : *names) {
    std::optional<PackageFileName> parsed = parse_package_file_name(name);
    if (!parsed)
      continue;
    CachedFile file{parsed->build, std::move(parsed->sha256), name};
    if (parsed->kind == PackageFileName::Kind::kPackage)
      packages.push_back(std::move(file));
    else if (file.sha256 != manifest.sha256)
      maps.push_back(std::move(file));
  }
  // The newest build first; a handful of files, so no sort.
  while (!maps.empty()) {
    const auto newest = std::max_element(
        maps.begin(), maps.end(),
        [](const CachedFile& a, const CachedFile& b) { return a.build < b.build; });
    const CachedFile kept = std::move(*newest);
    maps.erase(newest);
    std::optional<ChunkMap> map =
        read_kept_map(files, join_path(cache_dir, kept.name), kept.sha256);
    if (!map)
      continue;
    for (const CachedFile& package : packages) {
      const std::string path = join_path(cache_dir, package.name);
      if (package.build == kept.build && files.file_size(path) == map->package_bytes)
        return UpgradeBase{path, package.name, std::move(*map)};
    }
  }
  return std::nullopt;
}

}  // namespace quarvel
