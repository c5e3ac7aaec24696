// Header lookups and body reads of an open WinHTTP response. Runs on the
// thread that holds the response.
#include <algorithm>
#include <array>

#include "core/wide_win32.h"
#include "http/header_value.h"
#include "http/transport_messages.h"
#include "http/winhttp_handles_win32.h"

namespace quarvel::win32 {

std::optional<std::string> WinHttpResponse::header(std::string_view name) {
  const std::wstring wide_name = widen(name);
  std::array<wchar_t, 256> value{};
  DWORD size = sizeof(value);
  if (!api_.query_headers(handles_.request.get(), WINHTTP_QUERY_CUSTOM, wide_name.c_str(),
                          value.data(), &size, WINHTTP_NO_HEADER_INDEX)) {
    return std::nullopt;
  }
  const size_t units = std::min<size_t>(size / sizeof(wchar_t), value.size());
  return header_value_text(
      std::u16string_view(reinterpret_cast<const char16_t*>(value.data()), units));
}

Result<size_t> WinHttpResponse::read(std::span<uint8_t> buffer,
                                     const std::atomic<bool>& pause_requested) {
  if (pause_requested.load()) {
    return Failure{kDownloadPausedMessage};
  }
  const DWORD wanted = static_cast<DWORD>(std::min<size_t>(buffer.size(), MAXDWORD));
  DWORD got = 0;
  if (!api_.read_data(handles_.request.get(), buffer.data(), wanted, &got)) {
    return Failure{network_error_message(GetLastError())};
  }
  return static_cast<size_t>(got);
}

Result<size_t> WinHttpResponse::read_arrived(std::span<uint8_t> buffer,
                                             const std::atomic<bool>& pause_requested) {
  if (pause_requested.load()) {
    return Failure{kDownloadPausedMessage};
  }
  DWORD available = 0;
  if (!api_.query_data_available(handles_.request.get(), &available)) {
    return Failure{network_error_message(GetLastError())};
  }
  if (available == 0) {
    return size_t{0};  // nothing after the wait: the body has ended
  }
  return read(buffer.first(std::min<size_t>(buffer.size(), available)), pause_requested);
}

}  // namespace quarvel::win32
