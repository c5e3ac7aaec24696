#include "http/package_host_choice.h"

#include <algorithm>

#include "http/https_address.h"

namespace quarvel {
namespace {

constexpr std::string_view kScheme = "https://";

}  // namespace

PackageHostChoice::PackageHostChoice(std::span<const std::string> hosts,
                                     size_t mirrors,
                                     std::string_view address)
    : address_(address) {
  const std::optional<std::string_view> named = https_host(address);
  if (!named)
    return;  // no host to replace: the address is asked as it stands
  named_length_ = named->size();
  const auto found = std::ranges::find(hosts, *named);
  if (found == hosts.end())
    return;
  mirrors = std::min(mirrors, hosts.size());
  const std::span<const std::string> own = hosts.subspan(mirrors);
  // A named mirror (no manifest address names one) leaves the build's hosts
  // in their listed order.
  const auto named_at = static_cast<size_t>(found - hosts.begin());
  const size_t start = named_at >= mirrors ? named_at - mirrors : 0;
  for (size_t i = 0; i < hosts.size(); ++i)
    order_.push_back(i < mirrors ? hosts[i] : own[(start + i - mirrors) % own.size()]);
  free_at_.assign(order_.size(), std::chrono::nanoseconds::min());
}

std::string_view PackageHostChoice::host() const {
  if (order_.empty())
    return https_host(address_).value_or(std::string_view());
  return order_[current_];
}

std::string PackageHostChoice::address() const {
  if (order_.empty())
    return address_;
  return std::string(kScheme)
      .append(order_[current_])
      .append(address_, kScheme.size() + named_length_);
}

std::chrono::nanoseconds PackageHostChoice::fail_over(
    std::chrono::nanoseconds now,
    std::optional<std::chrono::nanoseconds> hinted_wait) {
  if (order_.empty())
    return hinted_wait.value_or(std::chrono::nanoseconds::zero());
  if (hinted_wait)
    free_at_[current_] = now + *hinted_wait;
  current_ = (current_ + 1) % order_.size();
  const std::chrono::nanoseconds free_at = free_at_[current_];
  return free_at > now ? free_at - now : std::chrono::nanoseconds::zero();
}

}  // namespace quarvel
