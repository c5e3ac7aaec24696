// The choice between the fetched and the kept manifest. Pure, any thread.
#include "release/manifest_choice.h"

namespace quarvel {
namespace {

std::string rollback_message(uint64_t fetched, uint64_t kept) {
  return "版本信息比本机保存的旧（发布序号 " + std::to_string(fetched) + " 低于 " +
         std::to_string(kept) + "），请稍后重试";
}

// Whether the kept manifest may stand in for the fetched one.
bool kept_stands_in(const KeptManifest& kept, int64_t now) {
  return kept.manifest && !has_expired(*kept.manifest, now);
}

// Whether the kept manifest may stand in when no host answered: at most the
// grace's days past its expiry (with no grace, exactly while unexpired).
bool kept_within_grace(const KeptManifest& kept, int64_t now, uint32_t grace_days) {
  if (!kept.manifest)
    return false;
  if (grace_days == 0)
    return kept_stands_in(kept, now);
  return now <= PastExpiry{kept.manifest->expires, grace_days}.grace_ends();
}

// The same serial as the kept one with other bytes: not the release kept.
bool differs_from_kept(const SignedManifest& fetched, const KeptManifest& kept) {
  return kept.manifest && kept.manifest->serial == fetched.serial &&
         kept.manifest->payload != fetched.payload;
}

bool replaces_kept(const SignedManifest& fetched, const KeptManifest& kept) {
  switch (kept.file) {
    case KeptManifest::File::kAbsent:
      return true;
    case KeptManifest::File::kUnreadable:
      return false;
    case KeptManifest::File::kRead:
      return !kept.verified_serial || fetched.serial > *kept.verified_serial;
  }
  return false;
}

}  // namespace

const char* manifest_source_name(ManifestSource source) {
  return source == ManifestSource::kKept ? "kept" : "fetched";
}

Status admit_fetched_manifest(const SignedManifest& fetched,
                              const KeptManifest& kept,
                              int64_t now) {
  if (has_expired(fetched, now))
    return Failure{manifest_expired_message(fetched.expires)};
  if (kept.verified_serial && fetched.serial < *kept.verified_serial)
    return Failure{rollback_message(fetched.serial, *kept.verified_serial)};
  return Ok{};
}

Result<ManifestChoice> choose_manifest(const SignedManifest* fetched,
                                       const KeptManifest& kept,
                                       int64_t now,
                                       const Failure& fetch_failure,
                                       uint32_t grace_days) {
  const bool stand_in = kept_stands_in(kept, now);
  Failure failure = fetch_failure;
  if (fetched != nullptr) {
    const Status admitted = admit_fetched_manifest(*fetched, kept, now);
    if (admitted && !(stand_in && differs_from_kept(*fetched, kept)))
      return ManifestChoice{ManifestSource::kFetched, replaces_kept(*fetched, kept)};
    if (!admitted)
      failure = admitted.failure();
  }
  if (stand_in)
    return ManifestChoice{ManifestSource::kKept, false};
  // No host answered: nothing fetched is used.
  if (kept_within_grace(kept, now, grace_days))
    return ManifestChoice{ManifestSource::kKept, false, true};
  // A site that set a grace counts on the kept manifest, not on the hosts:
  // what ends its installs is the kept one's age.
  if (grace_days > 0 && kept.manifest)
    return Failure{manifest_expired_message(kept.manifest->expires)};
  return failure;
}

}  // namespace quarvel
