// The segment loop of the download engine: fetches the missing bytes of one
// file (the package, or its chunk map) in ranged requests of up to 8 MiB,
// appending them to its file in the cache and checking them chunk by chunk
// as they arrive, with bounded retries, progress texts and network-log lines.
// Runs on the install run's thread.
#pragma once

#include <cstdint>
#include <string>

#include "core/result.h"
#include "http/package_host_choice.h"
#include "release/release_manifest.h"
#include "runner/chunk_check.h"
#include "runner/download_environment.h"
#include "runner/upgrade_assembly.h"

namespace quarvel {

// What a transfer brings in: the package itself, or the chunk map beside it
// on the package hosts (the package's address followed by ".chunks").
enum class TransferKind { kPackage, kChunkMap };

// The file one transfer fills.
struct TransferTarget {
  TransferKind kind = TransferKind::kPackage;
  std::string path;    // the file in the cache
  uint64_t bytes = 0;  // its full size
  // For the chunk map: the package's size and the bytes of it already in
  // the cache, which its status texts show (the map's own bytes mean nothing
  // to the user).
  uint64_t package_bytes = 0;
  uint64_t package_kept = 0;
};

// What the transfers of one download share: the package host choice (a host
// that answers keeps the later requests, the map's and the package's alike)
// and the count of the download's requests in the network log.
struct DownloadRequests {
  PackageHostChoice hosts;
  uint32_t count = 0;
};

// Fetches bytes start_offset .. target.bytes - 1 into the target's file,
// which holds the first start_offset bytes (it is opened here: appended to,
// or emptied when start_offset is 0). With a check (standing at
// start_offset), each chunk is checked the moment it is complete; one that
// does not match fails that attempt as a failure of its host: the file is
// cut back to the chunk's start and the rest of that answer is not read.
// With an assembly (an upgrade; a check is then given too), the bytes are
// taken in its order: each chunk it copies is read from the base, checked
// and written, never rate-capped, and one that does not match (or cannot be
// read) is fetched instead; each range it fetches is fetched as above, within
// the range. A package transfer with a check counts its sources (base and
// network bytes) in the stats and the status. Closes the file on every path.
// Ok once every byte is written; otherwise the one message that ends the
// download (pause, give-up after five failed attempts, segment mismatch, too
// many bytes, or the system error text of an open, write, flush or cut). The
// bytes written, up to the last cut, stay in the file.
Status transfer_missing_bytes(const DownloadEnvironment& env,
                              const std::string& cache_dir,
                              const TransferTarget& target,
                              uint64_t start_offset,
                              DownloadRequests& requests,
                              ChunkCheck* check,
                              UpgradeAssembly* assembly = nullptr);

}  // namespace quarvel
