// Compiled once per host pair (see online-setup/CMakeLists.txt).
#include "http/allowed_hosts.h"

namespace quarvel {

const AllowedHosts& configured_hosts() {
  static const AllowedHosts hosts{QUARVEL_RELEASE_HOST, QUARVEL_PACKAGE_HOST};
  return hosts;
}

}  // namespace quarvel
