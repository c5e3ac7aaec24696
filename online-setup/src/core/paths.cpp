#include "core/paths.h"

namespace quarvel {
namespace {

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

}  // namespace

std::string join_path(std::string_view left, std::string_view right) {
  std::string joined(left);
  if (!joined.empty() && joined.back() != '\\' && joined.back() != '/') {
    joined.push_back('\\');
  }
  joined.append(right);
  return joined;
}

WindowsPathParts split_windows_path(std::string_view path) {
  WindowsPathParts parts;
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

bool is_absolute_windows_path(std::string_view path) {
  const WindowsPathParts parts = split_windows_path(path);
  return parts.has_prefix && parts.has_root;
}

}  // namespace quarvel
