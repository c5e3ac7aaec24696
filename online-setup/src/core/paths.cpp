#include "core/paths.h"

namespace quarvel {

std::string join_path(std::string_view left, std::string_view right) {
  std::string joined(left);
  if (!joined.empty() && joined.back() != '\\' && joined.back() != '/') {
    joined.push_back('\\');
  }
  joined.append(right);
  return joined;
}

}  // namespace quarvel
