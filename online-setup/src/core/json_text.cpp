#include "core/json_text.h"

namespace quarvel {

// nlohmann::json keeps object members in a std::map, whose order is the byte
// order of the keys. Invalid UTF-8 in a string is replaced rather than thrown.
std::string json_compact(const nlohmann::json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string json_pretty(const nlohmann::json& value) {
  return value.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace quarvel
