#include <cerrno>
#include <cstring>

#include "core/os_error.h"

namespace quarvel {

uint32_t last_os_error() noexcept {
  return static_cast<uint32_t>(errno);
}

std::string system_error_text(uint32_t code) {
  return format_system_error(std::strerror(static_cast<int>(code)), code);
}

}  // namespace quarvel
