// Address checks done before any network call. Pure; any thread.
#include "http/https_address.h"

#include "http/transport_messages.h"

namespace quarvel {
namespace {

constexpr std::string_view kScheme = "https://";

bool is_allowed(std::string_view host, const AllowedHosts& hosts) {
  return is_listed(host, hosts.release_hosts) || is_listed(host, hosts.package_hosts);
}

}  // namespace

std::optional<std::string_view> https_host(std::string_view address) {
  if (!address.starts_with(kScheme))
    return std::nullopt;
  const std::string_view rest = address.substr(kScheme.size());
  const size_t slash = rest.find('/');
  if (slash == std::string_view::npos)
    return std::nullopt;
  return rest.substr(0, slash);
}

Result<HttpsTarget> split_https_address(std::string_view address, const AllowedHosts& hosts) {
  const std::optional<std::string_view> host = https_host(address);
  if (!host) {
    return Failure{kHttpsRequiredMessage};
  }
  if (!is_allowed(*host, hosts)) {
    return Failure{kInvalidHostMessage};
  }
  return HttpsTarget{std::string(*host),
                     std::string(address.substr(kScheme.size() + host->size()))};
}

}  // namespace quarvel
