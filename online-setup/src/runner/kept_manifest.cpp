// The kept manifest's file in the cache folder. Install run's thread.
#include "runner/kept_manifest.h"

#include "core/paths.h"
#include "core/replacing_write.h"
#include "http/manifest_fetch.h"

namespace quarvel {
namespace {

// ERROR_FILE_NOT_FOUND and ERROR_PATH_NOT_FOUND: nothing is kept. Any other
// failure (a sharing violation, access denied) leaves a file of unknown
// serial, which must not count as none.
bool names_nothing(const Failure& failure) {
  return failure.system_error == 2 || failure.system_error == 3;
}

}  // namespace

std::string kept_manifest_path(std::string_view cache_dir) {
  return join_path(cache_dir, kKeptManifestName);
}

KeptManifest read_kept_manifest(FileSystem& files,
                                std::string_view cache_dir,
                                std::span<const std::string> package_hosts,
                                const ManifestPolicy& policy) {
  const Result<std::string> text =
      read_file_up_to(files, kept_manifest_path(cache_dir), kManifestBodyLimit);
  if (!text) {
    return KeptManifest{names_nothing(text.failure()) ? KeptManifest::File::kAbsent
                                                      : KeptManifest::File::kUnreadable};
  }
  KeptManifest kept{KeptManifest::File::kRead};
  Result<std::string> payload = verified_manifest_payload(*text, policy);
  if (!payload)
    return kept;
  kept.verified_serial = verified_payload_serial(*payload);
  Result<SignedManifest> manifest =
      read_verified_payload(std::move(payload).value(), package_hosts, policy.minimum_build);
  if (manifest)
    kept.manifest = std::move(manifest).value();
  return kept;
}

Status keep_manifest(FileSystem& files,
                     RandomSource& random,
                     std::string_view cache_dir,
                     std::string_view text) {
  const Status folder = files.create_directories(std::string(cache_dir));
  if (!folder)
    return folder;
  return write_replacing(files, random, kept_manifest_path(cache_dir), text);
}

}  // namespace quarvel
