#include "runner/cache_files.h"

#include <algorithm>

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

constexpr std::string_view kChunkMapSuffix = ".chunks";

bool is_lower_hex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

// "{build}-{sha256}.chunks": the build in decimal without leading zeros.
std::optional<PackageFileName> parse_chunk_map_name(std::string_view name) {
  constexpr size_t kDigestDigits = 64;
  const size_t dash = name.find('-');
  if (!name.ends_with(kChunkMapSuffix) || dash == std::string_view::npos ||
      name.size() != dash + 1 + kDigestDigits + kChunkMapSuffix.size()) {
    return std::nullopt;
  }
  const std::optional<uint64_t> build = parse_build_text(name.substr(0, dash));
  const std::string_view sha256 = name.substr(dash + 1, kDigestDigits);
  if (!build || !std::all_of(sha256.begin(), sha256.end(), is_lower_hex))
    return std::nullopt;
  return PackageFileName{PackageFileName::Kind::kChunkMap, *build, std::string(sha256)};
}

}  // namespace

std::optional<PackageFileName> parse_package_file_name(std::string_view name) {
  if (const std::optional<uint64_t> build = build_of_package_file_name(name))
    return PackageFileName{PackageFileName::Kind::kPackage, *build, {}};
  return parse_chunk_map_name(name);
}

std::string partial_path(std::string_view cache_dir, const ReleaseManifest& manifest) {
  return package_file_path(cache_dir, manifest, ".part");
}

std::string chunk_map_path(std::string_view cache_dir, const ReleaseManifest& manifest) {
  return package_file_path(cache_dir, manifest, kChunkMapSuffix);
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
