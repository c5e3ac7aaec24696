// Size-and-digest check of one package file against the manifest. Runs on
// the install run's thread; the file is opened fresh for each call.
#pragma once

#include <string>

#include "core/file_system.h"
#include "core/release_manifest.h"
#include "core/result.h"

namespace quarvel {

// The SHA-256 of the open file from where it stands to its end, read through
// one 65,536-byte buffer, as 64 lower-case hexadecimal digits. The system error
// text when a read fails.
Result<std::string> file_sha256(ReadableFile& file);

// true: size and SHA-256 both match. false: the file cannot be opened (it is
// missing, say), or its size or digest differs (a wrong size is never read).
// A message (the system error text, with its code) when the open file's size
// or content cannot be read, or when the file cannot be opened because another
// process holds it (is_file_contention): a held file is no wrong file.
Result<bool> verify_package(FileSystem& files,
                            const std::string& path,
                            const ReleaseManifest& manifest);

}  // namespace quarvel
