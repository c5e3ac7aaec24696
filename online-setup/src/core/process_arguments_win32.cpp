#include <windows.h>

#include <string>

#include "core/process_arguments.h"

namespace quarvel {
namespace {

std::u16string module_file_name() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      return std::u16string(path.begin(), path.end());
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace

const ArgumentList& process_arguments() {
  static const ArgumentList arguments = [] {
    const wchar_t* line = GetCommandLineW();
    const std::u16string_view text(reinterpret_cast<const char16_t*>(line));
    return split_command_line(text, text.empty() ? module_file_name() : std::u16string());
  }();
  return arguments;
}

}  // namespace quarvel
