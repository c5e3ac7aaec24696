// Opens one WinHTTP request per call: session, connection and request are
// made for it and closed with the response, or at the first failure. Also the
// process's HttpsClient over it. Runs on the thread of the install run.
#include <memory>

#include "core/wide_win32.h"
#include "http/https_client.h"
#include "http/request_text.h"
#include "http/transport_messages.h"
#include "http/winhttp_handles_win32.h"

namespace quarvel::win32 {
namespace {

constexpr int kTimeoutMilliseconds = 15000;

Failure last_network_error() {
  return Failure{network_error_message(GetLastError())};
}

bool set_dword_option(const WinHttpApi& api, HINTERNET handle, DWORD option, DWORD value) {
  return api.set_option(handle, option, &value, sizeof(value)) != FALSE;
}

// The session with its time-outs.
Result<WinHttpHandle> open_session(const WinHttpApi& api) {
  WinHttpHandle session(api,
                        api.open(widen(kUserAgent).c_str(), WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                 WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) {
    return Failure{kNoSessionMessage};
  }
  if (!api.set_timeouts(session.get(), kTimeoutMilliseconds, kTimeoutMilliseconds,
                        kTimeoutMilliseconds, kTimeoutMilliseconds)) {
    return last_network_error();
  }
  return session;
}

// A GET over TLS that never follows redirects and sends no logon credentials.
// The wait for the response headers is bounded like every other step: the
// session's receive time-out does not cover it everywhere.
Result<WinHttpHandle> open_request(const WinHttpApi& api,
                                   HINTERNET connection,
                                   const std::string& object) {
  WinHttpHandle request(
      api, api.open_request(connection, L"GET", widen(object).c_str(), nullptr, WINHTTP_NO_REFERER,
                            WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE));
  if (!request) {
    return Failure{kNoRequestMessage};
  }
  if (!set_dword_option(api, request.get(), WINHTTP_OPTION_REDIRECT_POLICY,
                        WINHTTP_OPTION_REDIRECT_POLICY_NEVER) ||
      !set_dword_option(api, request.get(), WINHTTP_OPTION_AUTOLOGON_POLICY,
                        WINHTTP_AUTOLOGON_SECURITY_LEVEL_HIGH) ||
      !set_dword_option(api, request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT,
                        kTimeoutMilliseconds)) {
    return last_network_error();
  }
  return request;
}

// Sends the request without a body and waits for the status line.
Result<uint32_t> exchange(const WinHttpApi& api, HINTERNET request, const std::string& headers) {
  const std::wstring wide_headers = widen(headers);
  if (!api.send_request(request, wide_headers.c_str(), static_cast<DWORD>(wide_headers.size()),
                        WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
      !api.receive_response(request, nullptr)) {
    return last_network_error();
  }
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!api.query_headers(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                         WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
    return last_network_error();
  }
  return static_cast<uint32_t>(status);
}

class WinHttpConnector final : public HttpConnector {
 public:
  Result<ResponsePtr> open(const HttpRequest& request) override {
    const WinHttpApi* api = winhttp_api();
    if (api == nullptr) {
      return Failure{kNoSessionMessage};
    }
    RequestHandles handles;
    Result<WinHttpHandle> session = open_session(*api);
    if (!session) {
      return session.failure();
    }
    handles.session = std::move(*session);
    handles.connection =
        WinHttpHandle(*api, api->connect(handles.session.get(), widen(request.host).c_str(),
                                         INTERNET_DEFAULT_HTTPS_PORT, 0));
    if (!handles.connection) {
      return Failure{kNoConnectionMessage};
    }
    Result<WinHttpHandle> opened = open_request(*api, handles.connection.get(), request.object);
    if (!opened) {
      return opened.failure();
    }
    handles.request = std::move(*opened);
    const Result<uint32_t> status = exchange(*api, handles.request.get(), request.headers);
    if (!status) {
      return status.failure();
    }
    return ResponsePtr(std::make_unique<WinHttpResponse>(*api, std::move(handles), *status));
  }
};

}  // namespace
}  // namespace quarvel::win32

namespace quarvel {

HttpConnector& system_http_connector() {
  static win32::WinHttpConnector connector;
  return connector;
}

HttpClient& system_http_client() {
  static HttpsClient client(system_http_connector(), configured_hosts(), system_wall_clock());
  return client;
}

}  // namespace quarvel
