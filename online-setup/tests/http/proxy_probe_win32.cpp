// proxy-probe: a console test program that shows where WinHTTP connects for a
// session opened with a chosen access type and whatever proxy configuration the
// prefix, the user and the environment hold. Bare WinHTTP, one GET over TLS on
// port 443 (certificate checked, no redirects, no automatic logon), as the
// installer's transport makes it. Single thread.
//
//   proxy-probe ACCESS ADDRESS
//     ACCESS: automatic | default | named=HOST:PORT
//
// Prints one JSON line: the access type asked for; the per-user settings and
// the machine setting as WinHTTP reads them ("user", "machine"); for a per-user
// auto-configuration address, the proxy WinHTTP resolves from that script for
// ADDRESS ("autoConfigProxy", or "autoConfigError"); then the outcome of the
// request: "status", or "error" with the Windows error code and "step".
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <winhttp.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "core/json_text.h"
#include "core/wide_win32.h"

namespace quarvel {
namespace {

struct InternetCloser {
  void operator()(HINTERNET handle) const { WinHttpCloseHandle(handle); }
};
using Internet = std::unique_ptr<void, InternetCloser>;

// Frees a string WinHTTP allocated with GlobalAlloc.
struct GlobalText {
  explicit GlobalText(LPWSTR text) : text(text) {}
  GlobalText(const GlobalText&) = delete;
  GlobalText& operator=(const GlobalText&) = delete;
  ~GlobalText() {
    if (text != nullptr) {
      GlobalFree(text);
    }
  }
  nlohmann::json json() const {
    return text == nullptr ? nlohmann::json(nullptr) : nlohmann::json(win32::narrow(text));
  }
  LPWSTR text;
};

struct AccessChoice {
  DWORD type;
  std::wstring proxy;  // named proxies only
};

// nullopt for an unknown access name.
std::optional<AccessChoice> parse_access(const std::string& name) {
  if (name == "automatic") {
    return AccessChoice{WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, {}};
  }
  if (name == "default") {
    return AccessChoice{WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, {}};
  }
  if (name.starts_with("named=")) {
    return AccessChoice{WINHTTP_ACCESS_TYPE_NAMED_PROXY, win32::widen(name.substr(6))};
  }
  return std::nullopt;
}

// The machine setting as WinHTTP reads it, or the error code.
nlohmann::json machine_settings() {
  WINHTTP_PROXY_INFO info{};
  if (!WinHttpGetDefaultProxyConfiguration(&info)) {
    return {{"error", GetLastError()}};
  }
  const GlobalText proxy(info.lpszProxy);
  const GlobalText bypass(info.lpszProxyBypass);
  return {{"accessType", info.dwAccessType}, {"proxy", proxy.json()}, {"bypass", bypass.json()}};
}

// The per-user settings, or the error code; their auto-configuration
// address, if any, in `script`.
nlohmann::json user_settings(std::wstring& script) {
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
  if (!WinHttpGetIEProxyConfigForCurrentUser(&config)) {
    return {{"error", GetLastError()}};
  }
  const GlobalText url(config.lpszAutoConfigUrl);
  const GlobalText proxy(config.lpszProxy);
  const GlobalText bypass(config.lpszProxyBypass);
  if (url.text != nullptr) {
    script = url.text;
  }
  return {{"autoDetect", config.fAutoDetect != FALSE},
          {"autoConfigUrl", url.json()},
          {"proxy", proxy.json()},
          {"bypass", bypass.json()}};
}

// The proxy the auto-configuration script names for the address, or the
// error code of fetching or running it.
void resolve_script(HINTERNET session,
                    const std::wstring& script,
                    const std::wstring& address,
                    nlohmann::json& outcome) {
  WINHTTP_AUTOPROXY_OPTIONS options{};
  options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
  options.lpszAutoConfigUrl = script.c_str();
  WINHTTP_PROXY_INFO info{};
  if (!WinHttpGetProxyForUrl(session, address.c_str(), &options, &info)) {
    outcome["autoConfigError"] = GetLastError();
    return;
  }
  const GlobalText proxy(info.lpszProxy);
  const GlobalText bypass(info.lpszProxyBypass);
  outcome["autoConfigProxy"] = proxy.json();
}

// Records the thread's last error as the outcome of the step.
void fail(nlohmann::json& outcome, const char* step) {
  outcome["error"] = GetLastError();
  outcome["step"] = step;
}

// One GET of the address's host and path on port 443: its status, or the
// error code and the step that failed.
void get(HINTERNET session, const std::wstring& address, nlohmann::json& outcome) {
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof(parts);
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(address.c_str(), 0, 0, &parts)) {
    return fail(outcome, "address");
  }
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  const std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
  const Internet connection(WinHttpConnect(session, host.c_str(), INTERNET_DEFAULT_HTTPS_PORT, 0));
  if (!connection) {
    return fail(outcome, "connect");
  }
  const Internet request(WinHttpOpenRequest(connection.get(), L"GET", path.c_str(), nullptr,
                                            WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                            WINHTTP_FLAG_SECURE));
  DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
  DWORD high = WINHTTP_AUTOLOGON_SECURITY_LEVEL_HIGH;
  if (!request ||
      !WinHttpSetOption(request.get(), WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof(never)) ||
      !WinHttpSetOption(request.get(), WINHTTP_OPTION_AUTOLOGON_POLICY, &high, sizeof(high))) {
    return fail(outcome, "open request");
  }
  if (!WinHttpSendRequest(request.get(), L"Connection: close\r\n", static_cast<DWORD>(-1),
                          WINHTTP_NO_REQUEST_DATA, 0, 0, 0)) {
    return fail(outcome, "send");
  }
  if (!WinHttpReceiveResponse(request.get(), nullptr)) {
    return fail(outcome, "receive");
  }
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
    return fail(outcome, "status");
  }
  outcome["status"] = status;
}

// Prints the outcome line; returns 2 for an unknown access name, else 0.
int probe(const std::string& access_name, const std::wstring& address) {
  const std::optional<AccessChoice> access = parse_access(access_name);
  if (!access) {
    return 2;
  }
  nlohmann::json outcome = {{"access", access_name}, {"machine", machine_settings()}};
  std::wstring script;
  outcome["user"] = user_settings(script);
  const Internet session(
      WinHttpOpen(L"QuarvelProxyProbe/1", access->type,
                  access->proxy.empty() ? WINHTTP_NO_PROXY_NAME : access->proxy.c_str(),
                  WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) {
    fail(outcome, "session");
  } else {
    if (!script.empty()) {
      resolve_script(session.get(), script, address, outcome);
    }
    get(session.get(), address, outcome);
  }
  const std::string line = json_compact(outcome) + "\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
  return 0;
}

}  // namespace
}  // namespace quarvel

int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc != 3) {
    return 2;
  }
  return quarvel::probe(quarvel::win32::narrow(argv[1]), argv[2]);
}
