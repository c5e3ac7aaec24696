// The run's first step: the release manifest it goes on with. Without
// manifest keys, the fetched manifest as the rules accept it; with them, the
// signed one that the release hosts' answers, the kept manifest and their
// serials and expiry decide, kept for later runs and named in the network
// log with every release host passed over. Runs on the install run's thread.
#pragma once

#include <optional>
#include <string>

#include "core/result.h"
#include "release/manifest_choice.h"
#include "release/release_manifest.h"

namespace quarvel {

struct RunEnvironment;

struct SelectedManifest {
  ReleaseManifest manifest;
  std::string cache_dir;
  // Which signed manifest was used; nullopt in builds without manifest keys.
  std::optional<ManifestUse> use;
};

// Fetches the manifest and settles the one the run uses. `cache_dir` is the
// run's cache directory or its message. Without keys: fails with the fetch's
// message, the rules' refusal of the fetched text, or the cache directory's
// message. With keys, a host whose answer is refused (by the signature, the
// rules, the clock, or as a rollback below the kept serial) is passed over
// like one that failed, and the kept manifest stands in when no host
// delivers one (past its expiry within the policy's OfflineGraceDays); the
// run fails with a pause, the cache directory's message, or, when nothing
// usable is left, under a grace the clock message of a kept manifest past
// it, else the first refusal, else the first host's failure.
Result<SelectedManifest> select_release_manifest(const RunEnvironment& environment,
                                                 const Result<std::string>& cache_dir);

}  // namespace quarvel
