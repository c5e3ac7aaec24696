// Windows path text rules as string logic. Pure functions, any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quarvel {

// Joins by the Windows rule: a "\" is inserted unless the left part is empty
// or already ends in "\" or "/". The result is not normalised.
std::string join_path(std::string_view left, std::string_view right);

// A path split the Windows way: its prefix (a drive, or the \\server\share,
// \\?\ and \\.\ forms), whether a root follows, and the components after it
// ("." and empty ones dropped, ".." kept). The components view the path's text.
struct WindowsPathParts {
  bool has_prefix = false;
  bool has_root = false;
  std::vector<std::string_view> components;
};
WindowsPathParts split_windows_path(std::string_view path);

// True when the path does not depend on a current folder or drive: a prefix
// followed by a root (D:\x, \\server\share\x, \\?\D:\x). D:x, \x and x are not.
bool is_absolute_windows_path(std::string_view path);

}  // namespace quarvel
