// The chunk map of the package being downloaded: kept in the cache beside
// its partial file ("{build}-{sha256}.chunks"), fetched from the package
// hosts when the cache holds none of the size and digest the signed manifest
// names, and read back and checked again before it is used. Runs on the
// install run's thread.
#pragma once

#include <cstdint>
#include <string>

#include "core/result.h"
#include "release/chunk_map.h"
#include "release/release_manifest.h"
#include "runner/download_environment.h"
#include "runner/segment_transfer.h"

namespace quarvel {

// The map the manifest names (manifest.chunk_map must be set), before any
// package byte is written. A kept map that still matches is used without a
// request; otherwise the map is fetched like a segment (retries, the next
// package host after a failed attempt), a map that does not match being that
// host's failure. `package_kept` is what the status texts show meanwhile.
// Fails with "无法获取分块清单；请稍后重试。{reason}"
// when the attempts run out, with the pause text, with the system error text
// of a file operation, or with "安装包的分块清单无效" for a map that matches
// its digest but breaks the format.
Result<ChunkMap> obtain_chunk_map(const DownloadEnvironment& env,
                                  const std::string& cache_dir,
                                  const ReleaseManifest& manifest,
                                  uint64_t package_kept,
                                  DownloadRequests& requests);

}  // namespace quarvel
