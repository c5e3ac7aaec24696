// The base of an upgrade: a package of another build in the cache with its
// own kept chunk map, whose chunks the new package can copy instead of
// fetching them. Runs on the install run's thread.
#pragma once

#include <optional>
#include <string>

#include "core/file_system.h"
#include "release/chunk_map.h"
#include "release/release_manifest.h"

namespace quarvel {

struct UpgradeBase {
  std::string path;       // the package file in the cache
  std::string file_name;  // its name, for the network log
  ChunkMap map;           // its kept map, as read from the cache
};

// The base for the manifest's package: of the cache's package files
// ("Quarvel-...-b{build}-...") that have a kept map of their build
// ("{build}-{sha256}.chunks", for another package than the manifest's),
// the one of the highest build whose map reads strictly as a map of a
// package of that file's size. Its bytes are not read here: each chunk is
// checked against the new package's map when it is copied. nullopt when
// there is none, or the folder or the maps cannot be read: a missing base
// costs a full download, never the run.
std::optional<UpgradeBase> find_upgrade_base(FileSystem& files,
                                             const std::string& cache_dir,
                                             const ReleaseManifest& manifest);

}  // namespace quarvel
