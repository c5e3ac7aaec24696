// The removal of older builds' packages and maps. Install run's thread.
#include "runner/cache_cleanup.h"

#include "core/paths.h"
#include "runner/cache_files.h"

namespace quarvel {

void remove_older_builds(FileSystem& files, const std::string& cache_dir, uint64_t build) {
  const Result<std::vector<std::string>> names = files.list_files(cache_dir);
  if (!names)
    return;
  for (const std::string& name : *names) {
    const std::optional<PackageFileName> parsed = parse_package_file_name(name);
    if (!parsed || parsed->build >= build)
      continue;
    // No wait for a scanner that holds the file: the next run removes it.
    const Status removed = files.remove_file(join_path(cache_dir, name));
    std::string line = "removed=" + name;
    if (!removed)
      line.append(" failed=").append(removed.message());
    append_network_log(files, cache_dir, line);
  }
}

}  // namespace quarvel
