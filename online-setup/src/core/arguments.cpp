#include "core/arguments.h"

#include "core/sha256.h"
#include "core/utf.h"

namespace quarvel {
namespace {

bool is_blank(char16_t c) {
  return c == u' ' || c == u'\t';
}

// Element 0: quotes only toggle quoting; ends at a blank outside quotes.
std::u16string take_program_path(std::u16string_view line, size_t& i) {
  std::u16string path;
  bool quoted = false;
  for (; i < line.size(); ++i) {
    const char16_t c = line[i];
    if (c == u'"') {
      quoted = !quoted;
    } else if (is_blank(c) && !quoted) {
      break;
    } else {
      path.push_back(c);
    }
  }
  return path;
}

// One later argument: 2n backslashes + quote give n backslashes and toggle
// quoting, 2n+1 give n backslashes and a literal quote, "" inside quotes gives
// a literal quote; other backslashes are literal.
std::u16string take_argument(std::u16string_view line, size_t& i) {
  std::u16string argument;
  bool quoted = false;
  while (i < line.size()) {
    size_t backslashes = 0;
    while (i < line.size() && line[i] == u'\\') {
      ++backslashes;
      ++i;
    }
    if (i < line.size() && line[i] == u'"') {
      argument.append(backslashes / 2, u'\\');
      if (backslashes % 2 == 1) {
        argument.push_back(u'"');
      } else if (quoted && i + 1 < line.size() && line[i + 1] == u'"') {
        argument.push_back(u'"');
        ++i;
      } else {
        quoted = !quoted;
      }
      ++i;
      continue;
    }
    argument.append(backslashes, u'\\');
    if (i >= line.size() || (is_blank(line[i]) && !quoted))
      break;
    argument.push_back(line[i++]);
  }
  return argument;
}

}  // namespace

ArgumentList split_command_line(std::u16string_view line, std::u16string_view program_file_name) {
  if (line.empty())
    return {utf16_to_utf8(program_file_name)};
  size_t i = 0;
  ArgumentList arguments{utf16_to_utf8(take_program_path(line, i))};
  for (;;) {
    while (i < line.size() && is_blank(line[i]))
      ++i;
    if (i >= line.size())
      break;
    arguments.push_back(utf16_to_utf8(take_argument(line, i)));
  }
  return arguments;
}

bool has_switch(const ArgumentList& arguments, std::string_view name) {
  for (const std::string& argument : arguments) {
    if (argument == name)
      return true;
  }
  return false;
}

std::optional<std::string> switch_value(const ArgumentList& arguments, std::string_view name) {
  for (size_t i = 0; i + 1 < arguments.size(); ++i) {
    if (arguments[i] == name)
      return arguments[i + 1];
  }
  return std::nullopt;
}

std::string instance_mutex_name(const ArgumentList& arguments) {
  std::string name = "Local\\QuarvelOnlineInstaller";
  if (const auto cache_dir = switch_value(arguments, "--cache-dir")) {
    name += "-" + sha256_hex(*cache_dir);
  }
  return name;
}

}  // namespace quarvel
