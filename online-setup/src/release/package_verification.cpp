// The size-and-digest check of one package file: one open, one size query,
// one streaming pass through a 65,536-byte buffer. Runs on the install run's
// thread; nothing is kept between calls.
#include "release/package_verification.h"

#include <array>

#include "core/sha256.h"

namespace quarvel {
namespace {

// The answer for an open (or failed) file: see verify_package.
Result<bool> verify_opened(const Result<std::unique_ptr<ReadableFile>>& opened,
                           const ReleaseManifest& manifest) {
  if (!opened) {
    if (is_missing_file(opened.failure().system_error))
      return false;
    return opened.failure();
  }
  ReadableFile& file = **opened;
  const Result<uint64_t> size = file.size();
  if (!size)
    return size.failure();
  if (*size != manifest.bytes)
    return false;
  const Result<FileDigest> digest = file_sha256(file);
  if (!digest)
    return digest.failure();
  return digest->sha256 == manifest.sha256;
}

}  // namespace

Result<FileDigest> file_sha256(ReadableFile& file, const ReadObserver& observer) {
  Sha256 digest;
  uint64_t bytes = 0;
  // One buffer for the whole file; kept off the stack of the run's thread.
  auto buffer = std::make_unique<std::array<uint8_t, 65536>>();
  for (;;) {
    const Result<size_t> read = file.read(*buffer);
    if (!read)
      return read.failure();
    if (*read == 0)
      return FileDigest{digest.finish(), bytes};
    const std::span<const uint8_t> piece(buffer->data(), *read);
    digest.update(piece);
    if (observer)
      observer(piece);
    bytes += *read;
  }
}

bool is_missing_file(uint32_t system_error) {
  constexpr uint32_t kFileNotFound = 2;
  constexpr uint32_t kPathNotFound = 3;
  return system_error == kFileNotFound || system_error == kPathNotFound;
}

Result<bool> verify_package(FileSystem& files,
                            const std::string& path,
                            const ReleaseManifest& manifest) {
  return verify_opened(files.open_read(path), manifest);
}

Result<std::unique_ptr<ReadableFile>> open_verified_package(FileSystem& files,
                                                            const std::string& path,
                                                            const ReleaseManifest& manifest) {
  Result<std::unique_ptr<ReadableFile>> opened = files.open_read_deny_write(path);
  const Result<bool> intact = verify_opened(opened, manifest);
  if (!intact)
    return intact.failure();
  if (!*intact)
    return std::unique_ptr<ReadableFile>();
  return std::move(opened).value();
}

}  // namespace quarvel
