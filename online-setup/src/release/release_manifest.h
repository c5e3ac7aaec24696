// The release manifest: the JSON document that names the newest setup
// package, validated strictly into a ReleaseManifest. Pure, any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/result.h"
#include "release/chunk_map.h"

namespace quarvel {

struct ReleaseManifest {
  std::string sha256;     // 64 lower-case hexadecimal digits
  std::string url;        // the download address, exactly as in the manifest
  std::string file_name;  // the last path segment of url
  uint64_t build = 0;     // the internal build number
  uint64_t bytes = 0;     // the package size
  // The package's chunk map, when the signed manifest names one; never in a
  // manifest read unsigned.
  std::optional<ChunkMapReference> chunk_map;
};

// "Quarvel-{display_version}-b{build}-Windows-x64-Setup.exe": the one name a
// package of that public version and build may have (`build` in decimal
// without leading zeros). Pure.
std::string package_file_name_for(std::string_view display_version, std::string_view build);

// The build a package file name of that form names: nullopt for any other
// name (a display version that breaks its rule, a build with leading zeros
// or beyond 64 bits, anything before or after). Pure.
std::optional<uint64_t> build_of_package_file_name(std::string_view name);

// A build number in the text form names carry: decimal digits without
// leading zeros, within 64 bits; nullopt for any other text. Pure.
std::optional<uint64_t> parse_build_text(std::string_view digits);

// "/downloads/quarvel/{version}/": the folder on the package host that holds
// the packages of one version. Pure.
std::string package_folder_path(std::string_view version);

// The least internal build a manifest may name unless the build of this
// program raises it (QUARVEL_MINIMUM_BUILD).
inline constexpr uint64_t kDefaultMinimumBuild = 27;

// "在线安装需要内部构建 {minimum_build} 或更新版本". Pure.
std::string minimum_build_message(uint64_t minimum_build);

// Validates the manifest body against the package hosts' address layout (the
// address may name any of the listed package hosts) and the least accepted
// build. Returns the record, or exactly one of the rule messages.
Result<ReleaseManifest> parse_release_manifest(std::string_view body,
                                               std::span<const std::string> package_hosts,
                                               uint64_t minimum_build = kDefaultMinimumBuild);

// The same with one package host (the publisher's case).
inline Result<ReleaseManifest> parse_release_manifest(
    std::string_view body,
    std::string_view package_host,
    uint64_t minimum_build = kDefaultMinimumBuild) {
  const std::string host(package_host);
  return parse_release_manifest(body, std::span(&host, 1), minimum_build);
}

}  // namespace quarvel
