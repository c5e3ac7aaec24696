// The transport the program uses: checks each address, builds the header and
// range query text, and leaves the network to an HttpConnector. One thread at
// a time (the worker thread in window mode, the main thread headless).
#pragma once

#include "core/clock.h"
#include "http/allowed_hosts.h"
#include "http/http_client.h"
#include "http/http_connector.h"

namespace quarvel {

class HttpsClient final : public HttpClient {
 public:
  // All three must outlive the client.
  HttpsClient(HttpConnector& connector, const AllowedHosts& hosts, WallClock& clock)
      : connector_(connector), hosts_(hosts), clock_(clock) {}

  // Returns the scheme or host message before any network use, else whatever
  // the connector returns.
  Result<ResponsePtr> http_get(std::string_view address, std::optional<ByteRange> range) override;

  // Returns "本机时间无效" when the wall clock is before 1970, else as
  // http_get with the range query appended and the range first..last.
  Result<ResponsePtr> http_get_range(std::string_view address,
                                     uint64_t first,
                                     uint64_t last,
                                     uint32_t attempt) override;

 private:
  HttpConnector& connector_;
  const AllowedHosts& hosts_;
  WallClock& clock_;
};

// The process's WinHTTP connector. Windows only.
HttpConnector& system_http_connector();

// The process's client over it, with the configured hosts and the system
// wall clock. Windows only.
HttpClient& system_http_client();

}  // namespace quarvel
