// The check of a partial file before it is resumed: its complete chunks are
// read from the cache and checked against the chunk map, so that a byte
// changed on disk (a disk, a scanner, an earlier fault) costs its chunk
// rather than the whole download. A local read, shown with its percent and
// stopped by the pause request. Runs on the install run's thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/result.h"
#include "release/chunk_map.h"
#include "runner/download_environment.h"

namespace quarvel {

// What of a partial file the download keeps.
struct PartialFileVerdict {
  // The bytes kept: up to the first chunk that does not match, or else to
  // the end of the last complete chunk (bytes after it cannot be checked yet
  // and are fetched again). Always a chunk boundary.
  uint64_t kept = 0;
  std::optional<ChunkEntry> mismatch;  // the chunk that ended the check, if one did
};

// Reads the first `size` bytes of the partial file at `path` and checks them
// chunk by chunk against the map, showing "正在检查已下载的部分 {percent}%"
// (at most every 0.1 s; the bar at the download's percent of the bytes
// checked). Stops at the first chunk that does not match, or where the file
// ends early. Fails with the pause text when a pause is requested, with the
// system error text when the file cannot be opened or read; it writes
// nothing.
Result<PartialFileVerdict> check_partial_file(const DownloadEnvironment& env,
                                              const std::string& path,
                                              uint64_t size,
                                              const ChunkMap& map);

}  // namespace quarvel
