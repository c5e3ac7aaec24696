// download_package: brings the full, verified setup package into the cache
// under its final name, reusing a verified package, resuming the partial file
// and fetching the rest in ranged requests. Runs on the install run's thread
// (the worker in window mode, the entry thread in headless mode).
#pragma once

#include <string>

#include "core/result.h"
#include "release/release_manifest.h"
#include "runner/download_environment.h"

namespace quarvel {

// The path of the verified package file in the cache. When the manifest
// names a chunk map, the map comes first (kept, or fetched), a partial file
// is checked against it and cut back to what it keeps, and each chunk is
// checked as it arrives: a chunk that does not match fails its host's
// attempt and is cut back to its start; and when the cache holds a package
// of another build with its kept map (upgrade_base.h), the chunks it shares
// with the new package are copied from it in order and only the rest is
// fetched (a copy that does not match is fetched instead, never failing the
// run). Once a package is verified (found, or downloaded), the packages and
// maps of older builds leave the cache (cache_cleanup.h). On failure exactly
// one message: the
// system error text of a file operation, a verification failure text, the
// pause text, the give-up text after five failed attempts (for the chunk map
// its own), an invalid chunk map's text, the segment mismatch or overlong-body
// text, or the corrupt-package text (the partial file is then deleted). Every
// byte received stays in the partial file, up to a chunk that did not match.
// Verifying, renaming over and deleting the package are retried while another
// process holds the file (core/contention_retry.h); when that outlasts the
// retries, the system error text of the last attempt, nothing deleted.
Result<std::string> download_package(const DownloadEnvironment& env,
                                     const std::string& cache_dir,
                                     const ReleaseManifest& manifest);

}  // namespace quarvel
