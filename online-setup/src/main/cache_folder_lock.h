// The lock held in the cache folder for the whole run, beside the named
// instance guard: the guard is keyed on the text of --cache-dir, so "C:\Cache",
// "c:\cache\" or a run in another logon session would pass it for the same
// folder; a file held without sharing in the folder itself tells them apart
// whatever the spelling or the session. Entry thread.
#pragma once

#include <memory>
#include <string>

#include "core/contention_retry.h"
#include "core/file_system.h"
#include "core/result.h"

namespace quarvel {

// Its name in the cache folder.
inline constexpr char kCacheLockName[] = "installer.lock";

enum class CacheLockState {
  kHeld,           // this run holds the folder
  kHeldElsewhere,  // another run holds it: a second start
  kNotTaken,       // no lock could be had here (no folder, a read-only one): the run goes on
};

struct CacheFolderLock {
  CacheLockState state = CacheLockState::kNotTaken;
  std::unique_ptr<HeldFile> file;  // held while state is kHeld, until destroyed
};

// Makes the cache folder (with its parents) and holds "installer.lock" in it.
// A hold refused with a sharing or lock violation is tried again as the
// contention retry says (a virus scanner may look at the file for a moment),
// then means another run. No cache folder (its message in `cache_dir`), a
// folder that cannot be made and any other refusal take no lock: the run
// meets and reports the same problem itself. Cannot fail.
CacheFolderLock lock_cache_folder(FileSystem& files,
                                  const ContentionRetry& retry,
                                  const Result<std::string>& cache_dir);

}  // namespace quarvel
