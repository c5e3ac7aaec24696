#include <windows.h>

#include "core/os_error.h"
#include "core/utf.h"

namespace quarvel {

uint32_t last_os_error() noexcept {
  return GetLastError();
}

std::string system_error_text(uint32_t code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string description;
  if (length > 0 && buffer != nullptr) {
    description = utf16_to_utf8(std::u16string_view(reinterpret_cast<char16_t*>(buffer), length));
  }
  LocalFree(buffer);
  return format_system_error(std::move(description), code);
}

}  // namespace quarvel
