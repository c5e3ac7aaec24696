// Keeping one base in the cache: once a package is verified there, the
// packages and chunk maps of older builds leave it, so that the newest
// package stays as the base of the next upgrade and the cache no longer
// grows with every release. Runs on the install run's thread.
#pragma once

#include <cstdint>
#include <string>

#include "core/file_system.h"

namespace quarvel {

// Deletes from the cache folder every package file and chunk map whose name
// (parse_package_file_name) names a build below `build`, the build of the
// package just verified; nothing else (partial files, which resume, the log,
// the kept manifest, the lock, newer builds, foreign files). Each deletion
// is logged, "removed=NAME", or "removed=NAME failed=TEXT" when the file
// stays (held by another program, say: the next run tries again). Never
// fails: it is not worth a run.
void remove_older_builds(FileSystem& files, const std::string& cache_dir, uint64_t build);

}  // namespace quarvel
