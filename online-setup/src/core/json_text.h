// The system's JSON text: members in ascending byte order of their keys,
// UTF-8 as is, only '"', '\\' and control characters escaped (lower-case hex),
// no byte order mark and no newline at the end. Pure functions, any thread.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace quarvel {

// No white space between tokens.
std::string json_compact(const nlohmann::json& value);

// Two spaces per level, one member per line as key, colon, space, value.
std::string json_pretty(const nlohmann::json& value);

}  // namespace quarvel
