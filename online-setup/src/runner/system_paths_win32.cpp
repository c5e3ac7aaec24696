#include <windows.h>

#include "core/system_libraries_win32.h"
#include "core/wide_win32.h"
#include "runner/system_paths.h"

namespace quarvel {
namespace {

using GetTempPath2Function = DWORD(WINAPI*)(DWORD, LPWSTR);

// GetTempPath2W is looked up by name once, at first use.
GetTempPath2Function temp_path_function() {
  static const auto function = reinterpret_cast<GetTempPath2Function>(
      reinterpret_cast<void*>(win32::kernel32_optional("GetTempPath2W")));
  return function != nullptr ? function : &GetTempPathW;
}

class Win32SystemPaths final : public SystemPaths {
 public:
  std::optional<std::string> local_app_data() override {
    const DWORD needed = GetEnvironmentVariableW(L"LOCALAPPDATA", nullptr, 0);
    if (needed == 0)
      return std::nullopt;
    std::wstring value(needed, L'\0');
    const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", value.data(), needed);
    if (length == 0 || length >= needed)
      return std::nullopt;
    value.resize(length);
    return win32::narrow(value);
  }
  std::string temp_dir() override {
    wchar_t buffer[MAX_PATH + 2];
    const DWORD length = temp_path_function()(MAX_PATH + 2, buffer);
    if (length == 0 || length > MAX_PATH + 1)
      return {};
    return win32::narrow(std::wstring_view(buffer, length));
  }
};

}  // namespace

SystemPaths& system_paths() {
  static Win32SystemPaths paths;
  return paths;
}

}  // namespace quarvel
