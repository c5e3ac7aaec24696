// The release manifest fetch. Runs on the thread of the install run.
#include "http/manifest_fetch.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "http/transport_messages.h"

namespace quarvel {
namespace {

// Reads the whole body in chunks; fails once it holds more than the limit.
Result<std::string> read_bounded_body(HttpResponse& response,
                                      const std::atomic<bool>& pause_requested) {
  std::string body;
  std::array<uint8_t, kManifestReadChunk> chunk;
  for (;;) {
    const Result<size_t> got = response.read(chunk, pause_requested);
    if (!got) {
      return got.failure();
    }
    if (*got == 0) {
      return body;
    }
    body.append(reinterpret_cast<const char*>(chunk.data()), std::min(*got, chunk.size()));
    if (body.size() > kManifestBodyLimit) {
      return Failure{kManifestTooLargeMessage};
    }
  }
}

// One request to one release host.
Result<std::string> fetch_from(HttpClient& http,
                               std::string_view release_host,
                               const std::atomic<bool>& pause_requested) {
  Result<ResponsePtr> response =
      http.http_get(release_manifest_address(release_host), std::nullopt);
  if (!response) {
    return response.failure();
  }
  const uint32_t status = (*response)->status();
  if (status != 200) {
    return Failure{manifest_status_message(status)};
  }
  return read_bounded_body(**response, pause_requested);
}

// Whether a host's failure lets the next host be asked: not a body over the
// limit (a manifest the rules refuse) and not a pause.
bool passes_to_next_host(const std::string& message) {
  return message != kManifestTooLargeMessage && message != kDownloadPausedMessage;
}

}  // namespace

std::string release_manifest_address(std::string_view release_host) {
  return "https://" + std::string(release_host) + kManifestPath;
}

Result<std::string> fetch_release_manifest(HttpClient& http,
                                           const AllowedHosts& hosts,
                                           const std::atomic<bool>& pause_requested) {
  std::optional<Failure> first_failure;
  for (size_t i = 0; i < hosts.release_hosts.size(); ++i) {
    if (i > 0 && pause_requested.load()) {
      return Failure{kDownloadPausedMessage};
    }
    Result<std::string> fetched = fetch_from(http, hosts.release_hosts[i], pause_requested);
    if (fetched || !passes_to_next_host(fetched.message())) {
      return fetched;
    }
    if (!first_failure) {
      first_failure = fetched.failure();
    }
  }
  return first_failure ? *first_failure : Failure{kInvalidHostMessage};  // no host listed
}

}  // namespace quarvel
