// The release manifest fetch: one GET of the manifest address on each release
// host in turn until one delivers, each answer bounded to 64 KiB and to 30 s
// from its request to its last byte. Runs on the thread of the install run;
// pause_requested is only read.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/result.h"
#include "http/allowed_hosts.h"
#include "http/http_client.h"

namespace quarvel {

inline constexpr char kManifestPath[] = "/api/v2/releases/quarvel/latest.json";
inline constexpr uint64_t kManifestBodyLimit = 65536;
inline constexpr size_t kManifestReadChunk = 4096;
// The whole answer of one host, from the request to its last byte: each read
// waits at most the transport's 15 s, but a host (or a relay) that sends a
// byte now and then would otherwise hold the run for hours. A manifest is a
// few hundred bytes; on a slow link it takes well under a second.
inline constexpr std::chrono::seconds kManifestAnswerDeadline{30};

// "https://" + the release host + the manifest path.
std::string release_manifest_address(std::string_view release_host);

// The manifest body, unparsed, from the first release host that delivers one;
// one request per host tried. A host passes the fetch to the next when its
// request cannot be opened, it answers with any status but 200, a read of its
// body fails, or its answer takes longer than kManifestAnswerDeadline on the
// clock (the network error message of ERROR_WINHTTP_TIMEOUT, 12002); the body
// of a 200 answer is not judged here, so a manifest the rules refuse is
// refused, not fetched elsewhere. When every host fails, the first host's
// message: the transport's message unchanged, or "获取版本失败（HTTP N）". A
// body over 65,536 bytes ends the fetch with "版本信息过大"; a pause ends it
// with the pause message ("下载已暂停，可重试继续下载") and asks no further host.
Result<std::string> fetch_release_manifest(HttpClient& http,
                                           const AllowedHosts& hosts,
                                           const std::atomic<bool>& pause_requested,
                                           MonotonicClock& clock);

// Judges the body of a 200 answer: Ok to take it, else the refusal.
using ManifestJudge = std::function<Status(const std::string& body)>;

// A release host that the fetch passed over, and why.
struct PassedOverHost {
  std::string host;
  std::string reason;
  bool refused = false;  // its answer arrived and was refused; else the host failed
};

// What a judged fetch found.
struct JudgedManifestFetch {
  // The first body the judge took; else the pause message, the first refusal
  // or, when no answer was refused, the first host's failure.
  Result<std::string> body = Failure{};
  std::vector<PassedOverHost> passed_over;  // in the order asked
};

// The fetch of a build that checks what it fetches: as fetch_release_manifest,
// except that a body the judge refuses, or one over 65,536 bytes, is that
// host's refusal and passes the fetch to the next host like a failure.
JudgedManifestFetch fetch_judged_manifest(HttpClient& http,
                                          const AllowedHosts& hosts,
                                          const std::atomic<bool>& pause_requested,
                                          MonotonicClock& clock,
                                          const ManifestJudge& judge);

}  // namespace quarvel
