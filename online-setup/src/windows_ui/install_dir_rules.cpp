#include "windows_ui/install_dir_rules.h"

#include <optional>

#include "core/paths.h"

namespace quarvel {
namespace {

// The final component when it is a name (not "..", and not a bare root or prefix).
std::optional<std::string_view> file_name(const WindowsPathParts& parts) {
  if (parts.components.empty() || parts.components.back() == "..")
    return std::nullopt;
  return parts.components.back();
}

bool equals_ignoring_ascii_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i]))
      return false;
  }
  return true;
}

}  // namespace

bool is_complete_install_dir(std::string_view path) {
  const WindowsPathParts parts = split_windows_path(path);
  // With a prefix and a root, having any component means having a parent.
  return parts.has_prefix && parts.has_root && file_name(parts).has_value();
}

std::string with_quarvel_folder(std::string_view path) {
  const std::optional<std::string_view> last = file_name(split_windows_path(path));
  if (last && equals_ignoring_ascii_case(*last, "Quarvel"))
    return std::string(path);
  return join_path(path, "Quarvel");
}

}  // namespace quarvel
