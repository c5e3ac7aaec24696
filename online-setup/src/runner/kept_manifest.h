// The kept manifest: the last signed latest.json a run accepted, in the cache
// folder, so that a later run outlives an outage of the release host and
// notices a rollback. Only builds with manifest keys keep one. Runs on the
// install run's thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/file_system.h"
#include "core/random_source.h"
#include "core/result.h"

namespace quarvel {

// Its name in the cache folder: the release host's own file name, so that an
// administrator can pre-stage a cache with the package and latest.json.
inline constexpr char kKeptManifestName[] = "latest.json";

// The cache directory joined with "latest.json". Cannot fail.
std::string kept_manifest_path(std::string_view cache_dir);

// The kept manifest's text; nullopt when it is missing, cannot be read, or
// is larger than the manifest fetch would take. Never fails otherwise: the
// caller verifies what it gets.
std::optional<std::string> read_kept_manifest(FileSystem& files, std::string_view cache_dir);

// Replaces the kept manifest with the text in one rename (the cache
// directory is made when missing), so a reader finds the old or the new
// text whole. The system error text on failure, when the old one stays.
Status keep_manifest(FileSystem& files,
                     RandomSource& random,
                     std::string_view cache_dir,
                     std::string_view text);

}  // namespace quarvel
