// Size-and-digest check of one package file against the manifest. Runs on
// the install run's thread; the file is opened fresh for each call.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "core/file_system.h"
#include "core/result.h"
#include "release/release_manifest.h"

namespace quarvel {

// What one pass over an open file read.
struct FileDigest {
  std::string sha256;  // 64 lower-case hexadecimal digits
  uint64_t bytes = 0;  // how many bytes the reads returned
};

// Sees every piece of a file as it is read, in order.
using ReadObserver = std::function<void(std::span<const uint8_t> bytes)>;

// The SHA-256 of the open file from where it stands to its end, read through
// one 65,536-byte buffer; the observer, when given, sees the same bytes. The
// system error text when a read fails.
Result<FileDigest> file_sha256(ReadableFile& file, const ReadObserver& observer = {});

// True for file-not-found (2) and path-not-found (3): the only open failures
// that mean there is no file to verify.
bool is_missing_file(uint32_t system_error);

// true: size and SHA-256 both match. false: the file is missing (file or path
// not found), or its size or digest differs (a wrong size is never read). A
// message (the system error text, with its code) when it cannot be opened for
// any other reason (held by another process, no system resources, a network
// error), or when its size or content cannot be read.
Result<bool> verify_package(FileSystem& files,
                            const std::string& path,
                            const ReleaseManifest& manifest);

// The same check through a file opened with read sharing only (open_read_deny_write):
// the open file when it matches, which nothing can change while it stays open;
// nullptr when verify_package would answer false; its messages alike.
Result<std::unique_ptr<ReadableFile>> open_verified_package(FileSystem& files,
                                                            const std::string& path,
                                                            const ReleaseManifest& manifest);

}  // namespace quarvel
