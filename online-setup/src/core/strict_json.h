// Strict JSON for documents that come from the network: one parse that
// refuses what the manifest rules refuse (a byte order mark, a NUL byte,
// trailing text, nesting of 128 levels or more, invalid UTF-8), and the typed
// member look-ups the rules share. Pure, any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace quarvel::strict_json {

// The document, or nullopt when the text is not one acceptable JSON text.
// A duplicate key counts with its last value.
std::optional<nlohmann::json> parse(std::string_view text);

// The member's value, or nullptr when missing or the document is no object.
const nlohmann::json* member(const nlohmann::json& document, const char* key);

// A non-negative integer held as an integer (not as floating point); nullopt
// for anything else, nullptr included.
std::optional<uint64_t> non_negative_integer(const nlohmann::json* value);

// The member's text, or nullptr when it is missing or not a string.
const std::string* string_value(const nlohmann::json* value);

}  // namespace quarvel::strict_json
