// Test fixtures: named files under tests/fixtures (QUARVEL_TEST_FIXTURES),
// and member rewrites of a manifest fixture for near-valid variants. Test
// thread only.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "core/file_system.h"

namespace quarvel::testing_support {

// The whole file tests/fixtures/<relative> ("/"-separated); an empty string
// (and a test failure) when it cannot be read.
inline std::string read_fixture(const std::string& relative) {
  const std::string path = std::string(QUARVEL_TEST_FIXTURES) + "/" + relative;
  const Result<std::unique_ptr<ReadableFile>> opened = system_file_system().open_read(path);
  if (!opened) {
    ADD_FAILURE() << "fixture missing: " << path << ": " << opened.message();
    return {};
  }
  ReadableFile* const file = opened->get();
  std::string bytes;
  std::array<uint8_t, 4096> buffer;
  for (;;) {
    const Result<size_t> read = file->read(buffer);
    if (!read) {
      ADD_FAILURE() << "fixture unreadable: " << path << ": " << read.message();
      return {};
    }
    if (*read == 0)
      return bytes;
    bytes.append(reinterpret_cast<const char*>(buffer.data()), *read);
  }
}

// Deterministic, non-repeating bytes (xorshift64): a package's content.
inline std::string package_bytes(uint64_t size, uint64_t seed = 0x9E3779B97F4A7C15u) {
  std::string bytes(size, '\0');
  uint64_t state = seed;
  for (uint64_t i = 0; i < size; ++i) {
    if (i % 8 == 0) {
      state ^= state << 13;
      state ^= state >> 7;
      state ^= state << 17;
    }
    bytes[i] = static_cast<char>(state >> (8 * (i % 8)));
  }
  return bytes;
}

// One member of a manifest fixture: its new JSON literal, or nullopt to drop it.
struct MemberEdit {
  std::string key;
  std::optional<std::string> literal;
};

// The manifest text with the members rewritten. The fixture writes one member
// per line as `  "key": literal,`; its last member (no comma) may be rewritten
// but not dropped.
inline std::string with_members(std::string manifest, const std::vector<MemberEdit>& edits) {
  for (const MemberEdit& edit : edits) {
    const std::string opening = "\n  \"" + edit.key + "\": ";
    const size_t start = manifest.find(opening);
    if (start == std::string::npos) {
      ADD_FAILURE() << "no member line for " << edit.key;
      continue;
    }
    const size_t line_end = manifest.find('\n', start + 1);
    const size_t value_end = manifest[line_end - 1] == ',' ? line_end - 1 : line_end;
    if (edit.literal) {
      const size_t value = start + opening.size();
      manifest.replace(value, value_end - value, *edit.literal);
    } else {
      manifest.erase(start, line_end - start);
    }
  }
  return manifest;
}

}  // namespace quarvel::testing_support
