// The release manifest fetch: one GET of the manifest address on the release
// host, its body bounded to 64 KiB. Runs on the thread of the install run;
// pause_requested is only read.
#pragma once

#include <atomic>
#include <string>

#include "core/result.h"
#include "http/allowed_hosts.h"
#include "http/http_client.h"

namespace quarvel {

inline constexpr char kManifestPath[] = "/api/v2/releases/quarvel/latest.json";
inline constexpr uint64_t kManifestBodyLimit = 65536;
inline constexpr size_t kManifestReadChunk = 4096;

// "https://" + the release host + the manifest path.
std::string release_manifest_address(const AllowedHosts& hosts);

// The manifest body, unparsed. Returns the transport's message unchanged when
// the request cannot be opened or a read fails (the pause message included),
// "获取版本失败（HTTP N）" for any status but 200, and "版本信息过大" once the
// body exceeds 65,536 bytes.
Result<std::string> fetch_release_manifest(HttpClient& http,
                                           const AllowedHosts& hosts,
                                           const std::atomic<bool>& pause_requested);

}  // namespace quarvel
