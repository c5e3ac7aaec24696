// The installer cache's file names and its network log. The cache belongs to
// the download engine alone; everything here runs on the install run's thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/file_system.h"
#include "release/release_manifest.h"

namespace quarvel {

// The cache directory joined with the manifest's file_name. Cannot fail.
std::string package_path(std::string_view cache_dir, const ReleaseManifest& manifest);

// The cache directory joined with "{build}-{sha256}.part". Cannot fail.
std::string partial_path(std::string_view cache_dir, const ReleaseManifest& manifest);

// The cache directory joined with "{build}-{sha256}.chunks": the package's
// chunk map, kept beside its partial file. Cannot fail.
std::string chunk_map_path(std::string_view cache_dir, const ReleaseManifest& manifest);

// A file in the cache that belongs to one package: its file under the
// package name, or its kept chunk map.
struct PackageFileName {
  enum class Kind { kPackage, kChunkMap };
  Kind kind = Kind::kPackage;
  uint64_t build = 0;
  std::string sha256;  // a chunk map's: 64 lower-case hexadecimal digits
};

// What a cache file name says: a package file
// ("Quarvel-{displayVersion}-b{build}-Windows-x64-Setup.exe") or a chunk map
// ("{build}-{sha256}.chunks"), exactly as the cache names them; nullopt for
// any other name (a partial file, the log, the kept manifest, the lock, a
// file of anyone else). Cannot fail.
std::optional<PackageFileName> parse_package_file_name(std::string_view name);

// Appends the line and one line feed to "network.log" in the cache directory
// (created when missing, never truncated), in one write. Never fails: when the
// log cannot be opened or written, the line is dropped.
void append_network_log(FileSystem& files, std::string_view cache_dir, std::string_view line);

}  // namespace quarvel
