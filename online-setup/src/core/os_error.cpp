#include "core/os_error.h"

namespace quarvel {

std::string format_system_error(std::string description, uint32_t code) {
  while (!description.empty() && (description.back() == ' ' || description.back() == '\t' ||
                                  description.back() == '\r' || description.back() == '\n')) {
    description.pop_back();
  }
  return description + " (os error " + std::to_string(code) + ")";
}

Failure system_failure(uint32_t code) {
  return Failure{system_error_text(code), code};
}

std::string last_system_error_text() {
  return system_error_text(last_os_error());
}

}  // namespace quarvel
