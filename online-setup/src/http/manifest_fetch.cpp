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

}  // namespace

std::string release_manifest_address(const AllowedHosts& hosts) {
  return "https://" + hosts.release_host + kManifestPath;
}

Result<std::string> fetch_release_manifest(HttpClient& http,
                                           const AllowedHosts& hosts,
                                           const std::atomic<bool>& pause_requested) {
  Result<ResponsePtr> response = http.http_get(release_manifest_address(hosts), std::nullopt);
  if (!response) {
    return response.failure();
  }
  const uint32_t status = (*response)->status();
  if (status != 200) {
    return Failure{manifest_status_message(status)};
  }
  return read_bounded_body(**response, pause_requested);
}

}  // namespace quarvel
