// Looking up the configured host lists. Pure; any thread.
#include "http/allowed_hosts.h"

namespace quarvel {

bool is_listed(std::string_view host, std::span<const std::string> names) {
  for (const std::string& name : names) {
    if (name == host)
      return true;
  }
  return false;
}

}  // namespace quarvel
