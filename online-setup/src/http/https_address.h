// Address rules of the transport: HTTPS only, one of the listed hosts, no
// port or user info. Pure; any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/result.h"
#include "http/allowed_hosts.h"

namespace quarvel {

// Where one request goes: an allowed host (port 443 implied) and the object
// name, "/" plus the path and query exactly as the address wrote them.
struct HttpsTarget {
  std::string host;
  std::string object;
};

// The host of "https://host/rest": the text between the scheme and the first
// "/" after it; nullopt for an address of any other form.
std::optional<std::string_view> https_host(std::string_view address);

// Splits "https://host/rest" at the first "/" after the scheme. Returns
// "必须使用 HTTPS 下载" unless the address starts with exactly "https://" and
// has a "/" after the host, and "下载主机无效" unless the host equals one of
// the listed hosts (of either role) byte for byte.
Result<HttpsTarget> split_https_address(std::string_view address, const AllowedHosts& hosts);

}  // namespace quarvel
