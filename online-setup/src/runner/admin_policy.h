// An administrator's policies: the values under the machine policy key, read
// once when the process starts, judged here (type, range, host names) and
// handed to every run as plain data. A value of the wrong type or out of
// range is ignored and named for the network log; nothing here stops a run.
// Without any value, every run goes on exactly as the build says. Read on the
// entry thread (or the window's, first), then read-only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/registry_value.h"
#include "http/allowed_hosts.h"

namespace quarvel {

// Under HKEY_LOCAL_MACHINE: machine policy, which only administrators write.
inline constexpr char kPolicyKey[] = "Software\\Policies\\Quarvel\\OnlineSetup";

// One value the installer reads: its name, its registry type and, for a
// number, its range. The administrative template names exactly these.
struct PolicyValueRule {
  std::string_view name;
  RegistryValueType type;
  uint32_t least = 0;
  uint32_t most = 0;
};

inline constexpr PolicyValueRule kMaxDownloadKBps{"MaxDownloadKBps", RegistryValueType::kDword, 0,
                                                  4294967295u};
inline constexpr PolicyValueRule kPackageHosts{"PackageHosts", RegistryValueType::kMultiString};
inline constexpr PolicyValueRule kReleaseHosts{"ReleaseHosts", RegistryValueType::kMultiString};
inline constexpr PolicyValueRule kOfflineGraceDays{"OfflineGraceDays", RegistryValueType::kDword, 0,
                                                   365};

// At most this many mirrors per list: each unreachable one can cost a
// request's time-outs before the next is asked.
inline constexpr size_t kMostMirrors = 8;

// One kilobyte of the rate cap.
inline constexpr uint64_t kBytesPerKilobyte = 1024;

struct AdminPolicy {
  std::optional<uint32_t> max_download_kbps;  // 0: no cap
  std::vector<std::string> package_hosts;     // mirrors asked before the build's package hosts
  std::vector<std::string> release_hosts;     // mirrors asked before the build's release hosts
  // Days past its expiry a kept signed manifest may still carry an install
  // when no release host answers (see choose_manifest); none or 0: none.
  std::optional<uint32_t> offline_grace_days;
  // What the network log says about the values: "policy NAME=VALUE" for
  // each one taken, and a line for each value or host name ignored, with why.
  std::vector<std::string> log_lines;

  // The bytes per second a download keeps under; 0: no cap.
  uint64_t download_rate_cap() const;
};

// Where the values come from: the registry key on Windows, a table in tests.
class PolicySource {
 public:
  virtual ~PolicySource() = default;
  // The value's type and bytes; nullopt when it is not set.
  virtual std::optional<RegistryValue> value(std::string_view name) = 0;
};

// Reads and judges every value. A number must be a REG_DWORD within its
// range, a host list a REG_MULTI_SZ; of its names (blanks around them
// dropped) those that are no DNS host name, repeat an earlier one, are a host
// of the build for that role already, or come after the eighth are ignored
// and the others taken. Never fails.
AdminPolicy read_admin_policy(PolicySource& source, const AllowedHosts& build_hosts);

// The machine's policies (Windows only): read_admin_policy over the values
// under kPolicyKey in the 64-bit registry view; none when the key is missing
// or cannot be opened.
AdminPolicy read_machine_policy(const AllowedHosts& build_hosts);

}  // namespace quarvel
