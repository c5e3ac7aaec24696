// Splits a composed command line the way a started setup would, dropping the
// program path.
#pragma once

#include <string>
#include <vector>

#include "core/arguments.h"
#include "core/utf.h"

namespace quarvel::testing_support {

inline std::vector<std::string> split_after_program(const std::string& line) {
  ArgumentList split = split_command_line(utf8_to_utf16(line), u"");
  split.erase(split.begin());
  return split;
}

}  // namespace quarvel::testing_support
