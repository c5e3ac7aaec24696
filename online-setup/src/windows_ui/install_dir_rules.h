// What counts as a usable install location, and how a folder chosen in the
// folder dialog becomes one. Windows path rules as string logic; pure
// functions, any thread.
#pragma once

#include <string>
#include <string_view>

namespace quarvel {

// The message of a location that is not a complete folder path.
inline constexpr std::string_view kIncompleteInstallDirMessage =
    "请选择完整的安装目录，例如 D:\\Quarvel";

// True when the path is absolute in the Windows sense (a drive or UNC-style
// prefix followed by a root: D:\x, \\server\share\x, \\?\D:\x), has a parent
// and ends in a name component (not in a root or ".."). D:Quarvel, \Quarvel,
// bare names, the empty text and D:\ are all false.
bool is_complete_install_dir(std::string_view path);

// The path with a final "Quarvel" folder: unchanged when its last component
// already is "Quarvel" in any ASCII case, else with "\Quarvel" appended (no
// second separator after a trailing one). D:\Apps gives D:\Apps\Quarvel and
// D:\ gives D:\Quarvel.
std::string with_quarvel_folder(std::string_view path);

}  // namespace quarvel
