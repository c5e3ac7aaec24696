// The cache folder's lock. Entry thread.
#include "main/cache_folder_lock.h"

#include "core/paths.h"

namespace quarvel {
namespace {

constexpr uint32_t kSharingViolation = 32;
constexpr uint32_t kLockViolation = 33;

}  // namespace

CacheFolderLock lock_cache_folder(FileSystem& files,
                                  const ContentionRetry& retry,
                                  const Result<std::string>& cache_dir) {
  // Made here, before anything is written into it: two runs on a folder that
  // does not exist yet would otherwise both find nothing to hold.
  if (!cache_dir || !files.create_directories(*cache_dir))
    return {};
  const std::string path = join_path(*cache_dir, kCacheLockName);
  Result<std::unique_ptr<HeldFile>> held =
      retry_on_contention(retry, [&] { return files.hold_exclusively(path); });
  if (held)
    return {CacheLockState::kHeld, std::move(held).value()};
  const uint32_t error = held.failure().system_error;
  if (error == kSharingViolation || error == kLockViolation)
    return {CacheLockState::kHeldElsewhere, nullptr};
  return {};
}

}  // namespace quarvel
