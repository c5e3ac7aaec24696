// The two hosts the program may talk to; their names are build configuration.
#pragma once

#include <string>

namespace quarvel {

struct AllowedHosts {
  std::string release_host;  // serves the release manifest
  std::string package_host;  // serves setup packages
};

// The host names this executable was built with (QUARVEL_RELEASE_HOST and
// QUARVEL_PACKAGE_HOST, or the test hosts' names in test builds).
const AllowedHosts& configured_hosts();

}  // namespace quarvel
