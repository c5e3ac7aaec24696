// The machine policy key: RegOpenKeyExW on HKEY_LOCAL_MACHINE in the 64-bit
// view, one RegQueryValueExW per value. Called once, by the thread that first
// builds the process's run environment.
#include "core/registry_win32.h"
#include "core/wide_win32.h"
#include "runner/admin_policy.h"

namespace quarvel {
namespace {

class RegistryPolicySource final : public PolicySource {
 public:
  RegistryPolicySource()
      : key_(HKEY_LOCAL_MACHINE,
             win32::widen(kPolicyKey).c_str(),
             KEY_QUERY_VALUE | KEY_WOW64_64KEY) {}
  std::optional<RegistryValue> value(std::string_view name) override {
    return win32::query_registry_value(key_, win32::widen(name).c_str());
  }

 private:
  win32::RegistryKey key_;  // none when the key is missing: no value is set
};

}  // namespace

AdminPolicy read_machine_policy(const AllowedHosts& build_hosts) {
  RegistryPolicySource source;
  return read_admin_policy(source, build_hosts);
}

}  // namespace quarvel
