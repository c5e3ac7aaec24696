#include "windows_ui/install_dir_rules.h"

#include <optional>
#include <vector>

#include "core/paths.h"

namespace quarvel {
namespace {

// A path split the Windows way: its prefix, whether a root follows, and the
// components after it ("." and empty ones dropped, ".." kept).
struct PathParts {
  bool has_prefix = false;
  bool has_root = false;
  std::vector<std::string_view> components;
};

bool is_separator(char c, bool verbatim) {
  return c == '\\' || (!verbatim && c == '/');
}

bool is_ascii_letter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The end of the component that starts at `from` (the next separator, or the end).
size_t component_end(std::string_view path, size_t from, bool verbatim) {
  size_t end = from;
  while (end < path.size() && !is_separator(path[end], verbatim))
    ++end;
  return end;
}

// Skips one separator at `at` if there is one.
size_t after_separator(std::string_view path, size_t at, bool verbatim) {
  return at < path.size() && is_separator(path[at], verbatim) ? at + 1 : at;
}

// Length of a prefix that begins with two separators: \\?\UNC\server\share,
// \\?\D:, \\?\name, \\.\name or \\server\share. Every such prefix implies a root.
size_t double_separator_prefix(std::string_view path, bool& verbatim) {
  if (path.starts_with("\\\\?\\")) {
    verbatim = true;
    const std::string_view rest = path.substr(4);
    if (rest.starts_with("UNC\\")) {
      const size_t server_end = component_end(path, 8, true);
      return component_end(path, after_separator(path, server_end, true), true);
    }
    if (rest.size() >= 2 && is_ascii_letter(rest[0]) && rest[1] == ':')
      return 6;
    return component_end(path, 4, true);
  }
  if (path.size() >= 4 && path[2] == '.' && is_separator(path[3], false)) {
    return component_end(path, 4, false);
  }
  const size_t server_end = component_end(path, 2, false);
  return component_end(path, after_separator(path, server_end, false), false);
}

PathParts split_path(std::string_view path) {
  PathParts parts;
  bool verbatim = false;
  size_t position = 0;
  if (path.size() >= 2 && is_separator(path[0], false) && is_separator(path[1], false)) {
    parts.has_prefix = parts.has_root = true;
    position = double_separator_prefix(path, verbatim);
  } else if (path.size() >= 2 && is_ascii_letter(path[0]) && path[1] == ':') {
    parts.has_prefix = true;
    position = 2;
  }
  if (position < path.size() && is_separator(path[position], verbatim))
    parts.has_root = true;
  while (position < path.size()) {
    const size_t start = after_separator(path, position, verbatim);
    const size_t end = component_end(path, start, verbatim);
    const std::string_view component = path.substr(start, end - start);
    if (!component.empty() && component != ".")
      parts.components.push_back(component);
    position = end;
  }
  return parts;
}

// The final component when it is a name (not "..", and not a bare root or prefix).
std::optional<std::string_view> file_name(const PathParts& parts) {
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
  const PathParts parts = split_path(path);
  // With a prefix and a root, having any component means having a parent.
  return parts.has_prefix && parts.has_root && file_name(parts).has_value();
}

std::string with_quarvel_folder(std::string_view path) {
  const std::optional<std::string_view> last = file_name(split_path(path));
  if (last && equals_ignoring_ascii_case(*last, "Quarvel"))
    return std::string(path);
  return join_path(path, "Quarvel");
}

}  // namespace quarvel
