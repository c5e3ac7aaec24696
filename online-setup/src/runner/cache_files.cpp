#include "runner/cache_files.h"

#include "core/paths.h"

namespace quarvel {

std::string package_path(std::string_view cache_dir, const ReleaseManifest& manifest) {
  return join_path(cache_dir, manifest.file_name);
}

namespace {

// The cache directory joined with "{build}-{sha256}{suffix}": the files of one
// package.
std::string package_file_path(std::string_view cache_dir,
                              const ReleaseManifest& manifest,
                              std::string_view suffix) {
  std::string name = std::to_string(manifest.build);
  name.append("-").append(manifest.sha256).append(suffix);
  return join_path(cache_dir, name);
}

}  // namespace

std::string partial_path(std::string_view cache_dir, const ReleaseManifest& manifest) {
  return package_file_path(cache_dir, manifest, ".part");
}

std::string chunk_map_path(std::string_view cache_dir, const ReleaseManifest& manifest) {
  return package_file_path(cache_dir, manifest, ".chunks");
}

void append_network_log(FileSystem& files, std::string_view cache_dir, std::string_view line) {
  auto log = files.open_write(join_path(cache_dir, "network.log"), WriteMode::kAppend);
  if (!log)
    return;
  std::string text(line);
  text.push_back('\n');
  (void)(*log)->write_all(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
  // The log closes when the handle goes out of scope, on every path.
}

}  // namespace quarvel
