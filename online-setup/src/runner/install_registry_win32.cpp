// RegOpenKeyExW / RegQueryValueExW for the registered install location.
#include "core/registry_win32.h"
#include "runner/install_location.h"

namespace quarvel {
namespace {

constexpr wchar_t kUninstallKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QuarvelOnline";

class Win32InstallRegistry final : public InstallRegistry {
 public:
  std::optional<std::string> install_location(RegistryRoot root) override {
    const win32::RegistryKey key(
        root == RegistryRoot::kCurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, kUninstallKey,
        KEY_READ);
    const std::optional<RegistryValue> value = win32::query_registry_value(key, L"InstallLocation");
    if (!value)
      return std::nullopt;
    return registry_value_text(
        value->type, std::u16string_view(reinterpret_cast<const char16_t*>(value->data.data()),
                                         value->data.size() / 2));
  }
};

}  // namespace

InstallRegistry& system_install_registry() {
  static Win32InstallRegistry registry;
  return registry;
}

}  // namespace quarvel
