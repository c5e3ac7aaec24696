// Looking up and combining host lists, and the host name rule. Pure; any
// thread.
#include "http/allowed_hosts.h"

#include <algorithm>

namespace quarvel {
namespace {

constexpr size_t kLongestHostName = 253;
constexpr size_t kLongestLabel = 63;

char lower_ascii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equal_in_any_case(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, {}, lower_ascii, lower_ascii);
}

bool is_label(std::string_view label) {
  if (label.empty() || label.size() > kLongestLabel || label.front() == '-' || label.back() == '-')
    return false;
  return std::ranges::all_of(label, [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
  });
}

std::vector<std::string> joined(std::span<const std::string> first,
                                std::span<const std::string> second) {
  std::vector<std::string> names;
  names.reserve(first.size() + second.size());
  for (const std::span<const std::string> part : {first, second}) {
    for (const std::string& name : part)
      names.push_back(name);
  }
  return names;
}

}  // namespace

bool is_listed(std::string_view host, std::span<const std::string> names) {
  return std::ranges::find(names, host) != names.end();
}

bool is_listed_in_any_case(std::string_view host, std::span<const std::string> names) {
  return std::ranges::any_of(
      names, [host](const std::string& name) { return equal_in_any_case(name, host); });
}

bool is_dns_host_name(std::string_view host) {
  if (host.empty() || host.size() > kLongestHostName)
    return false;
  for (;;) {
    const size_t dot = host.find('.');
    if (!is_label(host.substr(0, dot)))
      return false;
    if (dot == std::string_view::npos)
      return true;
    host.remove_prefix(dot + 1);
  }
}

AllowedHosts with_mirrors(const AllowedHosts& build,
                          std::span<const std::string> release_mirrors,
                          std::span<const std::string> package_mirrors) {
  return AllowedHosts{joined(release_mirrors, build.release_hosts),
                      joined(package_mirrors, build.package_hosts), package_mirrors.size()};
}

}  // namespace quarvel
