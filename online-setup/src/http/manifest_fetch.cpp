// The release manifest fetch. Runs on the thread of the install run.
#include "http/manifest_fetch.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

#include "http/transport_messages.h"

namespace quarvel {
namespace {

// ERROR_WINHTTP_TIMEOUT: an answer past its deadline reads as a time-out.
constexpr uint32_t kTimeoutError = 12002;

// Reads the whole body in chunks; fails once it holds more than the limit,
// or when a read would start after the answer's deadline.
Result<std::string> read_bounded_body(HttpResponse& response,
                                      const std::atomic<bool>& pause_requested,
                                      MonotonicClock& clock,
                                      std::chrono::nanoseconds deadline) {
  std::string body;
  std::array<uint8_t, kManifestReadChunk> chunk;
  for (;;) {
    if (clock.now() >= deadline)
      return Failure{network_error_message(kTimeoutError)};
    const Result<size_t> got = response.read_arrived(chunk, pause_requested);
    if (!got)
      return got.failure();
    if (*got == 0)
      return body;
    body.append(reinterpret_cast<const char*>(chunk.data()), std::min(*got, chunk.size()));
    if (body.size() > kManifestBodyLimit)
      return Failure{kManifestTooLargeMessage};
  }
}

// One request to one release host, its answer bounded in time from the request on.
Result<std::string> fetch_from(HttpClient& http,
                               std::string_view release_host,
                               const std::atomic<bool>& pause_requested,
                               MonotonicClock& clock) {
  const std::chrono::nanoseconds deadline = clock.now() + kManifestAnswerDeadline;
  Result<ResponsePtr> response =
      http.http_get(release_manifest_address(release_host), std::nullopt);
  if (!response)
    return response.failure();
  const uint32_t status = (*response)->status();
  if (status != 200)
    return Failure{manifest_status_message(status)};
  return read_bounded_body(**response, pause_requested, clock, deadline);
}

// Notes a host passed over, and its reason as the first of its kind.
void pass_over(JudgedManifestFetch& fetch,
               std::optional<Failure>& first_of_kind,
               const std::string& host,
               const Failure& reason,
               bool refused) {
  if (!first_of_kind)
    first_of_kind = reason;
  fetch.passed_over.push_back({host, reason.message, refused});
}

// The hosts in order until one delivers a body the judge takes (any body,
// without a judge). Without a judge a body over the limit ends the fetch.
JudgedManifestFetch fetch_across_hosts(HttpClient& http,
                                       const AllowedHosts& hosts,
                                       const std::atomic<bool>& pause_requested,
                                       MonotonicClock& clock,
                                       const ManifestJudge* judge) {
  JudgedManifestFetch fetch;
  std::optional<Failure> first_failure;
  std::optional<Failure> first_refusal;
  for (size_t i = 0; i < hosts.release_hosts.size(); ++i) {
    const std::string& host = hosts.release_hosts[i];
    if (i > 0 && pause_requested.load()) {
      fetch.body = Failure{kDownloadPausedMessage};
      return fetch;
    }
    Result<std::string> answer = fetch_from(http, host, pause_requested, clock);
    if (answer) {
      const Status verdict = judge ? (*judge)(*answer) : Status(Ok{});
      if (verdict) {
        fetch.body = std::move(answer);
        return fetch;
      }
      pass_over(fetch, first_refusal, host, verdict.failure(), true);
      continue;
    }
    const bool too_large = answer.message() == kManifestTooLargeMessage;
    if (answer.message() == kDownloadPausedMessage || (too_large && judge == nullptr)) {
      fetch.body = std::move(answer);
      return fetch;
    }
    pass_over(fetch, too_large ? first_refusal : first_failure, host, answer.failure(), too_large);
  }
  // No host listed: the host rule's message, as a request would give it.
  fetch.body = first_refusal   ? *first_refusal
               : first_failure ? *first_failure
                               : Failure{kInvalidHostMessage};
  return fetch;
}

}  // namespace

std::string release_manifest_address(std::string_view release_host) {
  return "https://" + std::string(release_host) + kManifestPath;
}

Result<std::string> fetch_release_manifest(HttpClient& http,
                                           const AllowedHosts& hosts,
                                           const std::atomic<bool>& pause_requested,
                                           MonotonicClock& clock) {
  return fetch_across_hosts(http, hosts, pause_requested, clock, nullptr).body;
}

JudgedManifestFetch fetch_judged_manifest(HttpClient& http,
                                          const AllowedHosts& hosts,
                                          const std::atomic<bool>& pause_requested,
                                          MonotonicClock& clock,
                                          const ManifestJudge& judge) {
  return fetch_across_hosts(http, hosts, pause_requested, clock, &judge);
}

}  // namespace quarvel
