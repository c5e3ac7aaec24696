// Windows path text rules as string logic. Pure functions, any thread.
#pragma once

#include <string>
#include <string_view>

namespace quarvel {

// Joins by the Windows rule: a "\" is inserted unless the left part is empty
// or already ends in "\" or "/". The result is not normalised.
std::string join_path(std::string_view left, std::string_view right);

}  // namespace quarvel
