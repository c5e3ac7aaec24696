// The seam below the HTTPS client: opens one request whose address has
// already been checked. WinHTTP implements it on Windows; tests pass fakes.
// One thread at a time.
#pragma once

#include <string>

#include "core/result.h"
#include "http/http_client.h"

namespace quarvel {

// One checked GET: host (port 443), object name and the additional header
// text (CR LF terminated lines).
struct HttpRequest {
  std::string host;
  std::string object;
  std::string headers;
};

class HttpConnector {
 public:
  virtual ~HttpConnector() = default;
  // Sends the request and waits for the response's status line and headers.
  // Returns the open response for every status code, or one transport
  // message (session, connection, request or network failure).
  virtual Result<ResponsePtr> open(const HttpRequest& request) = 0;
};

}  // namespace quarvel
