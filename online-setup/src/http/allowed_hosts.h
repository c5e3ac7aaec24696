// The hosts the program may talk to, in the order it tries them; their names
// are build configuration. Pure; any thread.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quarvel {

struct AllowedHosts {
  std::vector<std::string> release_hosts;  // serve the release manifest, asked in this order
  std::vector<std::string> package_hosts;  // serve setup packages; a failed attempt moves on

  // True when either list names more than one host: the network log then
  // names the host of every request.
  bool several() const { return release_hosts.size() > 1 || package_hosts.size() > 1; }
};

// Whether the host equals one of the names byte for byte.
bool is_listed(std::string_view host, std::span<const std::string> names);

// The host lists this executable was built with (QUARVEL_RELEASE_HOST and
// QUARVEL_PACKAGE_HOST, or the test hosts' names in test builds).
const AllowedHosts& configured_hosts();

}  // namespace quarvel
