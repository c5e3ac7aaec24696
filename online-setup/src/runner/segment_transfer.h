// The segment loop of the download engine: fetches the missing bytes of one
// package in ranged requests of up to 8 MiB, appending them to the open
// partial file, with bounded retries, progress texts and network-log lines.
// Runs on the install run's thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/file_system.h"
#include "core/result.h"
#include "release/release_manifest.h"
#include "runner/download_environment.h"

namespace quarvel {

// Fetches bytes start_offset .. manifest.bytes - 1 into partial, which is open
// for writing at start_offset, and closes it on every path. Ok once every byte
// is written; otherwise the one message that ends the download (pause, give-up
// after five failed attempts, segment mismatch, too many bytes, or the system
// error text of a write or flush). The bytes written stay in the file.
Status transfer_missing_bytes(const DownloadEnvironment& env,
                              const std::string& cache_dir,
                              const ReleaseManifest& manifest,
                              std::unique_ptr<WritableFile> partial,
                              uint64_t start_offset);

}  // namespace quarvel
