// The success report of a run, returned as its outcome and written to the
// report file. Runs on the install run's thread.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "core/arguments.h"
#include "release/release_manifest.h"

namespace quarvel {

class DownloadStats;

// The ten members: build, bytes, downloadOnly, httpStatus, installDir,
// package, resumedBytes, sha256, status "complete", transferredBytes; and
// after a download with a chunk map "baseBytes" (of the transferred bytes,
// those copied from a cached package of another build) and "networkBytes"
// (the rest). Reads the download figures once under their lock.
nlohmann::json build_success_report(const ReleaseManifest& manifest,
                                    const std::string& package_path,
                                    const std::string& install_location,
                                    const ArgumentList& arguments,
                                    DownloadStats& stats);

}  // namespace quarvel
