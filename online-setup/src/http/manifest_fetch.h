// The release manifest fetch: one GET of the manifest address on each release
// host in turn until one answers, its body bounded to 64 KiB. Runs on the
// thread of the install run; pause_requested is only read.
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
std::string release_manifest_address(std::string_view release_host);

// The manifest body, unparsed, from the first release host that delivers one;
// one request per host tried. A host passes the fetch to the next when its
// request cannot be opened, it answers with any status but 200, or a read of
// its body fails; the body of a 200 answer is not judged here, so a manifest
// the rules refuse is refused, not fetched elsewhere. When every host fails,
// the first host's message: the transport's message unchanged, or
// "获取版本失败（HTTP N）". A body over 65,536 bytes ends the fetch with
// "版本信息过大"; a pause ends it with the pause message ("下载已暂停，可重试
// 继续下载") and asks no further host.
Result<std::string> fetch_release_manifest(HttpClient& http,
                                           const AllowedHosts& hosts,
                                           const std::atomic<bool>& pause_requested);

}  // namespace quarvel
