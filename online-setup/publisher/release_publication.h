// Publishing a release: the manifest of one package file, written to a folder
// only once the installer's own rules accept it. Main thread of the publisher.
#pragma once

#include <string>

#include "core/file_system.h"
#include "core/result.h"

namespace quarvel {

// What the vendor gives for one release.
struct ReleaseInput {
  std::string package;          // path of the setup package file
  std::string version;          // "version", for example 1.4.2
  std::string display_version;  // "displayVersion", for example 1.4
  std::string build;            // "build", decimal text
  std::string package_host;     // the host that will serve the package
  std::string out_dir;          // the folder that receives latest.json
};

// What was published.
struct Publication {
  std::string manifest_path;  // out_dir joined with "latest.json"
  std::string upload_path;    // where the package goes on the package host
};

// Measures and hashes the package, composes the manifest (compact JSON, keys
// in byte order), checks it as the installer would (the fetch's size limit,
// every manifest rule, the transport's host rule) and writes latest.json in
// out_dir, through a temporary file of a new name, created exclusively, that
// must read back as an accepted manifest before it takes the final name (on
// failure only that file is removed). On refusal returns the installer's own
// message and writes nothing; "下载主机无效" also for a package host that is no
// DNS host name. Returns "cannot open the package: PATH" for a package that
// cannot be opened, a refusal naming both figures for a package whose reads
// return another number of bytes than its measured size, and the system error
// text when reading or writing fails.
Result<Publication> publish_release(FileSystem& files, const ReleaseInput& input);

}  // namespace quarvel
