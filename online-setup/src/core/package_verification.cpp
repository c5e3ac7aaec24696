// The size-and-digest check of one package file: one open, one size query,
// one streaming pass through a 65,536-byte buffer. Runs on the install run's
// thread; nothing is kept between calls.
#include "core/package_verification.h"

#include <array>
#include <memory>

#include "core/contention_retry.h"
#include "core/sha256.h"

namespace quarvel {

Result<std::string> file_sha256(ReadableFile& file) {
  Sha256 digest;
  // One buffer for the whole file; kept off the stack of the run's thread.
  auto buffer = std::make_unique<std::array<uint8_t, 65536>>();
  for (;;) {
    const Result<size_t> read = file.read(*buffer);
    if (!read)
      return read.failure();
    if (*read == 0)
      return digest.finish();
    digest.update(std::span(buffer->data(), *read));
  }
}

Result<bool> verify_package(FileSystem& files,
                            const std::string& path,
                            const ReleaseManifest& manifest) {
  const Result<std::unique_ptr<ReadableFile>> opened = files.open_read(path);
  if (!opened) {
    if (is_file_contention(opened.failure().system_error))
      return opened.failure();
    return false;
  }
  ReadableFile* const file = opened->get();
  const Result<uint64_t> size = file->size();
  if (!size)
    return size.failure();
  if (*size != manifest.bytes)
    return false;
  const Result<std::string> digest = file_sha256(*file);
  if (!digest)
    return digest.failure();
  return *digest == manifest.sha256;
}

}  // namespace quarvel
