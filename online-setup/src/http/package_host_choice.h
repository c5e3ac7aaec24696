// Which package host a download asks next, and when each host may be asked
// again. A download starts with the first mirror an administrator listed, or
// without mirrors with the host its manifest address names; a failed attempt
// moves it on to the next host (the mirrors, then the build's hosts from the
// named one on, wrapping around), and a host that answers keeps it, so a dead
// first host costs one failed attempt, not one per segment. A host's own wait
// hint (Retry-After) holds back only requests to that host. Pure; the
// download engine's thread.
#pragma once

#include <chrono>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quarvel {

class PackageHostChoice {
 public:
  // `hosts`: the package hosts, the first `mirrors` of them mirrors, which
  // must outlive the choice; `address`: the manifest's package address,
  // "https://" + host + path. A host the list lacks, or an address of
  // another form, is used as it stands, with nowhere else to go.
  PackageHostChoice(std::span<const std::string> hosts, size_t mirrors, std::string_view address);

  // The host the next request goes to.
  std::string_view host() const;

  // The package address with its host replaced by the current host: the
  // same path on every host.
  std::string address() const;

  // After a failed attempt at `now`: the failed host may not be asked again
  // before now + `hinted_wait` (when it sent a hint); the next host in the
  // order becomes the current one. Returns how long that host still asked to
  // be left alone: zero when it never did, or its wait is over.
  std::chrono::nanoseconds fail_over(std::chrono::nanoseconds now,
                                     std::optional<std::chrono::nanoseconds> hinted_wait);

 private:
  // The hosts in the order they are asked; empty when the address's host is
  // not listed.
  std::vector<std::string> order_;
  size_t current_ = 0;
  // The earliest moment each host of the order may be asked again.
  std::vector<std::chrono::nanoseconds> free_at_;
  std::string address_;      // as the manifest wrote it
  size_t named_length_ = 0;  // the length of its host, after the scheme
};

}  // namespace quarvel
