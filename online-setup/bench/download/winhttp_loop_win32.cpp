// The bare WinHTTP download loop that the engine is measured against: the same
// requests as the engine (one session and TLS connection per 8 MiB range,
// "Connection: close", a unique query per request), 64 KiB reads written
// straight to the output file, one flush per segment, nothing else. No retry,
// no verification, no status. One thread.
//
//   winhttp-loop.exe HOST OBJECT_PATH TOTAL_BYTES OUTPUT_FILE
//
// Prints "bytes=N" and exits 0 when all bytes arrived; prints the failing step
// and its error code to standard error and exits 1 otherwise.
#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>

namespace {

constexpr uint64_t kSegmentSize = 8388608;
constexpr DWORD kReadChunk = 65536;
constexpr int kTimeoutMs = 15000;

struct InternetCloser {
  void operator()(HINTERNET handle) const { WinHttpCloseHandle(handle); }
};
using Internet = std::unique_ptr<void, InternetCloser>;

struct FileCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using File = std::unique_ptr<void, FileCloser>;

// False after printing the step and the thread's last error.
bool check(bool ok, const char* step) {
  if (!ok)
    std::fprintf(stderr, "%s failed: %lu\n", step, GetLastError());
  return ok;
}

// The three handles of one request, closed request first.
struct Request {
  Internet session;
  Internet connection;
  Internet request;
};

// Opens and sends the ranged request; false after printing the failing step.
bool send_range(Request& r,
                const wchar_t* host,
                const std::wstring& object,
                uint64_t first,
                uint64_t last) {
  r.session.reset(WinHttpOpen(L"QuarvelOnlineSetup/1.02", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                              WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!check(r.session != nullptr, "WinHttpOpen") ||
      !check(WinHttpSetTimeouts(r.session.get(), kTimeoutMs, kTimeoutMs, kTimeoutMs, kTimeoutMs),
             "WinHttpSetTimeouts")) {
    return false;
  }
  r.connection.reset(WinHttpConnect(r.session.get(), host, INTERNET_DEFAULT_HTTPS_PORT, 0));
  if (!check(r.connection != nullptr, "WinHttpConnect"))
    return false;
  const std::wstring target = object + L"?quarvel_range=" + std::to_wstring(first) + L"-" +
                              std::to_wstring(last) + L"-0-" + std::to_wstring(GetTickCount64());
  r.request.reset(WinHttpOpenRequest(r.connection.get(), L"GET", target.c_str(), nullptr,
                                     WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                     WINHTTP_FLAG_SECURE));
  if (!check(r.request != nullptr, "WinHttpOpenRequest"))
    return false;
  DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
  DWORD high = WINHTTP_AUTOLOGON_SECURITY_LEVEL_HIGH;
  const std::wstring headers = L"Accept-Encoding: identity\r\nConnection: close\r\nRange: bytes=" +
                               std::to_wstring(first) + L"-" + std::to_wstring(last) + L"\r\n";
  return check(WinHttpSetOption(r.request.get(), WINHTTP_OPTION_REDIRECT_POLICY, &never,
                                sizeof never),
               "WinHttpSetOption") &&
         check(
             WinHttpSetOption(r.request.get(), WINHTTP_OPTION_AUTOLOGON_POLICY, &high, sizeof high),
             "WinHttpSetOption") &&
         check(WinHttpSendRequest(r.request.get(), headers.c_str(),
                                  static_cast<DWORD>(headers.size()), WINHTTP_NO_REQUEST_DATA, 0, 0,
                                  0),
               "WinHttpSendRequest") &&
         check(WinHttpReceiveResponse(r.request.get(), nullptr), "WinHttpReceiveResponse");
}

// Reads the body into the file until it ends; returns the bytes written, or
// -1 after printing the failing step.
int64_t receive_body(HINTERNET request, HANDLE file, uint8_t* buffer) {
  int64_t written = 0;
  for (;;) {
    DWORD got = 0;
    if (!check(WinHttpReadData(request, buffer, kReadChunk, &got), "WinHttpReadData"))
      return -1;
    if (got == 0)
      return written;
    DWORD put = 0;
    if (!check(WriteFile(file, buffer, got, &put, nullptr) && put == got, "WriteFile"))
      return -1;
    written += got;
  }
}

// One segment: request, status check, body, flush. False after printing why.
bool fetch_segment(const wchar_t* host,
                   const std::wstring& object,
                   uint64_t first,
                   uint64_t last,
                   HANDLE file,
                   uint8_t* buffer) {
  Request r;
  if (!send_range(r, host, object, first, last))
    return false;
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!check(WinHttpQueryHeaders(
                 r.request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                 WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX),
             "WinHttpQueryHeaders")) {
    return false;
  }
  if (status != 206) {
    std::fprintf(stderr, "status %lu for bytes %llu-%llu\n", status,
                 static_cast<unsigned long long>(first), static_cast<unsigned long long>(last));
    return false;
  }
  const int64_t body = receive_body(r.request.get(), file, buffer);
  if (body != static_cast<int64_t>(last - first + 1)) {
    if (body >= 0)
      std::fprintf(stderr, "short body: %lld bytes\n", static_cast<long long>(body));
    return false;
  }
  return check(FlushFileBuffers(file), "FlushFileBuffers");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: winhttp-loop HOST OBJECT_PATH TOTAL_BYTES OUTPUT_FILE\n");
    return 1;
  }
  const uint64_t total = std::wcstoull(argv[3], nullptr, 10);
  File file(CreateFileW(argv[4], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                        nullptr));
  if (!check(file.get() != INVALID_HANDLE_VALUE, "CreateFileW")) {
    file.release();
    return 1;
  }
  auto buffer = std::make_unique<uint8_t[]>(kReadChunk);
  for (uint64_t first = 0; first < total; first += kSegmentSize) {
    const uint64_t last = std::min(total, first + kSegmentSize) - 1;
    if (!fetch_segment(argv[1], argv[2], first, last, file.get(), buffer.get()))
      return 1;
  }
  std::printf("bytes=%llu\n", static_cast<unsigned long long>(total));
  return 0;
}
