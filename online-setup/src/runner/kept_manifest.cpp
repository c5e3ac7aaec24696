// The kept manifest's file in the cache folder. Install run's thread.
#include "runner/kept_manifest.h"

#include "core/paths.h"
#include "core/replacing_write.h"
#include "http/manifest_fetch.h"

namespace quarvel {

std::string kept_manifest_path(std::string_view cache_dir) {
  return join_path(cache_dir, kKeptManifestName);
}

std::optional<std::string> read_kept_manifest(FileSystem& files, std::string_view cache_dir) {
  Result<std::string> text =
      read_file_up_to(files, kept_manifest_path(cache_dir), kManifestBodyLimit);
  if (!text || text->size() > kManifestBodyLimit)
    return std::nullopt;
  return std::move(text).value();
}

Status keep_manifest(FileSystem& files,
                     RandomSource& random,
                     std::string_view cache_dir,
                     std::string_view text) {
  const Status folder = files.create_directories(std::string(cache_dir));
  if (!folder)
    return folder;
  return write_replacing(files, random, kept_manifest_path(cache_dir), text);
}

}  // namespace quarvel
