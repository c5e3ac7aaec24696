// UTF-8 <-> UTF-16 at the Windows call boundary. Any thread.
#pragma once

#include <string>
#include <string_view>

#include "core/utf.h"

namespace quarvel::win32 {

inline std::wstring widen(std::string_view text) {
  const std::u16string wide = utf8_to_utf16(text);
  return std::wstring(wide.begin(), wide.end());
}

inline std::string narrow(std::wstring_view text) {
  return utf16_to_utf8(
      std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

}  // namespace quarvel::win32
