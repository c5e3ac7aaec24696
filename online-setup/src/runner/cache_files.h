// The installer cache's file names and its network log. The cache belongs to
// the download engine alone; everything here runs on the install run's thread.
#pragma once

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

// Appends the line and one line feed to "network.log" in the cache directory
// (created when missing, never truncated), in one write. Never fails: when the
// log cannot be opened or written, the line is dropped.
void append_network_log(FileSystem& files, std::string_view cache_dir, std::string_view line);

}  // namespace quarvel
