// The hosts the program may talk to, in the order it tries them: the names
// the build was configured with, after any mirrors an administrator's policy
// puts before them. Pure; any thread.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quarvel {

struct AllowedHosts {
  std::vector<std::string> release_hosts;  // serve the release manifest, asked in this order
  std::vector<std::string> package_hosts;  // serve setup packages; a failed attempt moves on
  // How many names at the front of package_hosts are mirrors, not the
  // build's own hosts.
  size_t package_mirrors = 0;

  // True when either list names more than one host: the network log then
  // names the host of every request.
  bool several() const { return release_hosts.size() > 1 || package_hosts.size() > 1; }

  // The build's own package hosts, the only ones a manifest address may name.
  std::span<const std::string> build_package_hosts() const {
    return std::span(package_hosts).subspan(package_mirrors);
  }
};

// Whether the host equals one of the names byte for byte.
bool is_listed(std::string_view host, std::span<const std::string> names);

// Whether the host equals one of the names in any letter case (DNS ignores
// case, so such a name leads to the same host).
bool is_listed_in_any_case(std::string_view host, std::span<const std::string> names);

// Whether the text is a DNS host name the transport can reach: labels of 1
// to 63 ASCII letters, digits and "-", neither first nor last "-", joined by
// "."; 253 bytes at most. A port, user info, a path, a trailing dot or a
// scheme make it none.
bool is_dns_host_name(std::string_view host);

// The build's hosts with the mirrors before them, each list in its order.
// The mirrors must be DNS host names that neither list holds already.
AllowedHosts with_mirrors(const AllowedHosts& build,
                          std::span<const std::string> release_mirrors,
                          std::span<const std::string> package_mirrors);

// The host lists this executable was built with (QUARVEL_RELEASE_HOST and
// QUARVEL_PACKAGE_HOST, or the test hosts' names in test builds).
const AllowedHosts& configured_hosts();

}  // namespace quarvel
