// libFuzzer target for split_command_line: any UTF-16 text (the input's bytes
// read as code units, unpaired surrogates included) gives at least one
// argument, and every argument is valid UTF-8. Fuzzer thread only.
#include <cstring>
#include <string>

#include "core/arguments.h"
#include "fuzz_check.h"

namespace quarvel::fuzzing {
namespace {

// The length of the UTF-8 sequence at the start of text, or 0 when it is not
// one well-formed sequence (overlong forms, surrogates and values above
// U+10FFFF are not).
size_t sequence_length(std::string_view text) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80)
    return 1;
  size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                  : lead >= 0xE0 && lead <= 0xEF ? 3
                  : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                 : 0;
  if (length == 0 || text.size() < length)
    return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80)
      return 0;
  }
  const unsigned char second = byte(1);
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
      (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F)) {
    return 0;
  }
  return length;
}

bool is_valid_utf8(std::string_view text) {
  while (!text.empty()) {
    const size_t length = sequence_length(text);
    if (length == 0)
      return false;
    text.remove_prefix(length);
  }
  return true;
}

}  // namespace
}  // namespace quarvel::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quarvel::fuzzing;
  std::u16string line(size / 2, u'\0');
  std::memcpy(line.data(), data, line.size() * sizeof(char16_t));
  const quarvel::ArgumentList arguments =
      quarvel::split_command_line(line, u"QuarvelOnlineSetup.exe");
  require(!arguments.empty(), "at least one argument");
  for (const std::string& argument : arguments) {
    require(is_valid_utf8(argument), "every argument is valid UTF-8");
  }
  return 0;
}
