// A registry value as the registry holds it: its type and its raw bytes,
// handed from the thin Windows readers to the portable rules that judge it.
// Plain data; any thread.
#pragma once

#include <cstdint>
#include <vector>

namespace quarvel {

// Registry value types the rules look at (winnt.h values).
enum class RegistryValueType : uint32_t {
  kString = 1,
  kExpandString = 2,
  kDword = 4,
  kMultiString = 7,
};

struct RegistryValue {
  uint32_t type = 0;
  std::vector<uint8_t> data;
};

}  // namespace quarvel
