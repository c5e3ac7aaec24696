// Strict base64: one text per byte string, so a signed payload cannot be
// written two ways. Pure, any thread.
#include "core/base64.h"

#include <cstdint>

namespace quarvel {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The six bits of a character of the alphabet; -1 for any other character.
int sextet(char c) {
  if (c >= 'A' && c <= 'Z')
    return c - 'A';
  if (c >= 'a' && c <= 'z')
    return c - 'a' + 26;
  if (c >= '0' && c <= '9')
    return c - '0' + 52;
  if (c == '+')
    return 62;
  return c == '/' ? 63 : -1;
}

}  // namespace

std::string base64_encode(std::string_view bytes) {
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t count = bytes.size() - i < 3 ? bytes.size() - i : 3;
    uint32_t group = 0;
    for (size_t k = 0; k < 3; ++k) {
      group = group << 8 | (k < count ? static_cast<uint8_t>(bytes[i + k]) : 0u);
    }
    for (size_t k = 0; k < 4; ++k) {
      text.push_back(k <= count ? kAlphabet[(group >> (18 - 6 * k)) & 0x3F] : '=');
    }
  }
  return text;
}

std::optional<std::string> base64_decode(std::string_view text) {
  if (text.size() % 4 != 0)
    return std::nullopt;
  const size_t padding = text.ends_with("==") ? 2 : text.ends_with("=") ? 1 : 0;
  std::string bytes;
  bytes.reserve(text.size() / 4 * 3);
  uint32_t group = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool pad = i >= text.size() - padding;
    const int value = pad ? 0 : sextet(text[i]);
    if (value < 0)
      return std::nullopt;
    group = group << 6 | static_cast<uint32_t>(value);
    if (i % 4 == 3) {
      for (int shift = 16; shift >= 0; shift -= 8)
        bytes.push_back(static_cast<char>((group >> shift) & 0xFF));
      group = 0;
    }
  }
  bytes.resize(bytes.size() - padding);
  // Non-zero bits beyond the last byte would give a second text for the
  // same bytes: only the one text base64_encode writes is accepted.
  if (base64_encode(bytes) != text)
    return std::nullopt;
  return bytes;
}

}  // namespace quarvel
