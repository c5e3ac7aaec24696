// The kept manifest: the last signed latest.json a run accepted, in the cache
// folder, so that a later run outlives an outage of the release host (or a
// refused answer) and notices a rollback. Only builds with manifest keys keep
// one. Runs on the install run's thread.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "core/file_system.h"
#include "core/random_source.h"
#include "core/result.h"
#include "release/manifest_choice.h"
#include "release/signed_manifest.h"

namespace quarvel {

// Its name in the cache folder: the release host's own file name, so that an
// administrator can pre-stage a cache with the package and latest.json.
inline constexpr char kKeptManifestName[] = "latest.json";

// The cache directory joined with "latest.json". Cannot fail.
std::string kept_manifest_path(std::string_view cache_dir);

// What the cache folder holds as the kept manifest, judged by the build's
// keys and rules: absent only when there is no such file (or no such
// folder); unreadable when it cannot be opened or read for another reason;
// else read, with its verified serial when a configured key signed its
// payload and its manifest when that payload also meets every rule. A text
// larger than the manifest fetch would take verifies as nothing. Cannot fail.
KeptManifest read_kept_manifest(FileSystem& files,
                                std::string_view cache_dir,
                                std::span<const std::string> package_hosts,
                                const ManifestPolicy& policy);

// Replaces the kept manifest with the text in one rename (the cache
// directory is made when missing), so a reader finds the old or the new
// text whole. The system error text on failure, when the old one stays.
Status keep_manifest(FileSystem& files,
                     RandomSource& random,
                     std::string_view cache_dir,
                     std::string_view text);

}  // namespace quarvel
