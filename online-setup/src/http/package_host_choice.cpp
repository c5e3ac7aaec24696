#include "http/package_host_choice.h"

#include "http/https_address.h"

namespace quarvel {
namespace {

constexpr std::string_view kScheme = "https://";

}  // namespace

PackageHostChoice::PackageHostChoice(std::span<const std::string> hosts, std::string_view address)
    : address_(address) {
  const std::optional<std::string_view> named = https_host(address);
  if (!named)
    return;  // no host to replace: the address is asked as it stands
  named_length_ = named->size();
  for (size_t i = 0; i < hosts.size(); ++i) {
    if (hosts[i] == *named) {
      hosts_ = hosts;
      current_ = i;
      free_at_.assign(hosts.size(), std::chrono::nanoseconds::min());
      return;
    }
  }
}

std::string_view PackageHostChoice::host() const {
  if (hosts_.empty())
    return https_host(address_).value_or(std::string_view());
  return hosts_[current_];
}

std::string PackageHostChoice::address() const {
  if (hosts_.empty())
    return address_;
  return std::string(kScheme)
      .append(hosts_[current_])
      .append(address_, kScheme.size() + named_length_);
}

std::chrono::nanoseconds PackageHostChoice::fail_over(
    std::chrono::nanoseconds now,
    std::optional<std::chrono::nanoseconds> hinted_wait) {
  if (hosts_.empty())
    return hinted_wait.value_or(std::chrono::nanoseconds::zero());
  if (hinted_wait)
    free_at_[current_] = now + *hinted_wait;
  current_ = (current_ + 1) % hosts_.size();
  const std::chrono::nanoseconds free_at = free_at_[current_];
  return free_at > now ? free_at - now : std::chrono::nanoseconds::zero();
}

}  // namespace quarvel
