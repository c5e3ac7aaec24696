// The choice between the fetched and the kept manifest. Pure, any thread.
#include "release/manifest_choice.h"

namespace quarvel {
namespace {

std::string rollback_message(uint64_t fetched, uint64_t kept) {
  return "版本信息比本机保存的旧（发布序号 " + std::to_string(fetched) + " 低于 " +
         std::to_string(kept) + "），请稍后重试";
}

}  // namespace

const char* manifest_source_name(ManifestSource source) {
  return source == ManifestSource::kKept ? "kept" : "fetched";
}

Result<ManifestChoice> choose_manifest(const SignedManifest* fetched,
                                       const SignedManifest* kept,
                                       int64_t now,
                                       const Failure& fetch_failure) {
  const bool kept_usable = kept != nullptr && !has_expired(*kept, now);
  if (fetched == nullptr) {
    if (kept_usable)
      return ManifestChoice{ManifestSource::kKept, false};
    return fetch_failure;
  }
  if (has_expired(*fetched, now))
    return Failure{manifest_expired_message(fetched->expires)};
  if (kept == nullptr || fetched->serial > kept->serial)
    return ManifestChoice{ManifestSource::kFetched, true};
  if (fetched->serial == kept->serial)
    return ManifestChoice{ManifestSource::kFetched, false};
  if (kept_usable)
    return ManifestChoice{ManifestSource::kKept, false};
  return Failure{rollback_message(fetched->serial, kept->serial)};
}

}  // namespace quarvel
