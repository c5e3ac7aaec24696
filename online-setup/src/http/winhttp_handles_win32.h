// Owned WinHTTP handles and the response that holds the three handles of one
// request. Used by one thread at a time; never copied.
#pragma once

#include <windows.h>
#include <winhttp.h>

#include <utility>

#include "core/system_libraries_win32.h"
#include "http/http_client.h"

namespace quarvel::win32 {

// One WinHTTP handle, closed through the loaded WinHTTP when released.
class WinHttpHandle {
 public:
  WinHttpHandle() = default;
  WinHttpHandle(const WinHttpApi& api, HINTERNET handle) : api_(&api), handle_(handle) {}
  WinHttpHandle(WinHttpHandle&& other) noexcept
      : api_(other.api_), handle_(std::exchange(other.handle_, nullptr)) {}
  WinHttpHandle& operator=(WinHttpHandle&& other) noexcept {
    std::swap(api_, other.api_);
    std::swap(handle_, other.handle_);
    return *this;
  }
  WinHttpHandle(const WinHttpHandle&) = delete;
  WinHttpHandle& operator=(const WinHttpHandle&) = delete;
  ~WinHttpHandle() {
    if (handle_ != nullptr) {
      api_->close_handle(handle_);
    }
  }

  HINTERNET get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  const WinHttpApi* api_ = nullptr;
  HINTERNET handle_ = nullptr;
};

// The handles of one request, declared so that release closes the request,
// then the connection, then the session.
struct RequestHandles {
  WinHttpHandle session;
  WinHttpHandle connection;
  WinHttpHandle request;
};

class WinHttpResponse final : public HttpResponse {
 public:
  WinHttpResponse(const WinHttpApi& api, RequestHandles handles, uint32_t status)
      : api_(api), handles_(std::move(handles)), status_(status) {}

  uint32_t status() const override { return status_; }
  // nullopt when the header is absent or its value does not fit 256 UTF-16 units.
  std::optional<std::string> header(std::string_view name) override;
  // The pause message without touching the network when pause_requested is
  // set; the network error message when WinHttpReadData fails.
  Result<size_t> read(std::span<uint8_t> buffer, const std::atomic<bool>& pause_requested) override;
  // WinHttpQueryDataAvailable, which waits for data, then WinHttpReadData of
  // what it found: a synchronous WinHttpReadData may wait on to fill the
  // buffer (Wine's does). The network error message when either fails.
  Result<size_t> read_arrived(std::span<uint8_t> buffer,
                              const std::atomic<bool>& pause_requested) override;

 private:
  const WinHttpApi& api_;
  RequestHandles handles_;
  uint32_t status_;
};

}  // namespace quarvel::win32
