// Which signed manifest a run uses: the one just fetched, or the one kept
// from an earlier run. A kept manifest outlives an outage of the release host
// and stops a rollback to an older one. Pure, any thread.
#pragma once

#include <cstdint>
#include <string>

#include "core/result.h"
#include "release/signed_manifest.h"

namespace quarvel {

enum class ManifestSource { kFetched, kKept };

struct ManifestChoice {
  ManifestSource source = ManifestSource::kFetched;
  // The fetched manifest is newer than the kept one (or none is kept): it
  // takes the kept one's place.
  bool replaces_kept = false;
};

// "fetched" or "kept", as the report and the network log name the source.
const char* manifest_source_name(ManifestSource source);

// The manifest a run went on with.
struct ManifestUse {
  ManifestSource source = ManifestSource::kFetched;
  uint64_t serial = 0;
};

// The choice, at `now` (seconds since 1970):
// - `fetched` is the accepted fetched manifest, or nullptr when the release
//   host could not be reached or answered with an error; then the kept one is
//   used while it has not expired, else the run fails with `fetch_failure`;
// - a fetched manifest that has expired is refused with the clock message,
//   whatever is kept;
// - one with a higher serial than the kept one (or with none kept) is used
//   and replaces it; with the same serial it is the same release and is used;
// - one with a lower serial is a rollback and never used: the kept one is,
//   while it has not expired, else the run fails with
//   "版本信息比本机保存的旧（发布序号 {fetched} 低于 {kept}），请稍后重试".
// `kept` is nullptr when nothing usable is kept (missing, unreadable, or
// refused by the signature or the rules).
Result<ManifestChoice> choose_manifest(const SignedManifest* fetched,
                                       const SignedManifest* kept,
                                       int64_t now,
                                       const Failure& fetch_failure);

}  // namespace quarvel
