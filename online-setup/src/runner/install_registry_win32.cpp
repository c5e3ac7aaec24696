// RegOpenKeyExW / RegQueryValueExW for the registered install location.
#include <windows.h>

#include <vector>

#include "runner/install_location.h"

namespace quarvel {
namespace {

constexpr wchar_t kUninstallKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QuarvelOnline";

class RegistryKey {
 public:
  explicit RegistryKey(HKEY root) {
    if (RegOpenKeyExW(root, kUninstallKey, 0, KEY_READ, &key_) != ERROR_SUCCESS)
      key_ = nullptr;
  }
  ~RegistryKey() {
    if (key_ != nullptr)
      RegCloseKey(key_);
  }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

class Win32InstallRegistry final : public InstallRegistry {
 public:
  std::optional<std::string> install_location(RegistryRoot root) override {
    const RegistryKey key(root == RegistryRoot::kCurrentUser ? HKEY_CURRENT_USER
                                                             : HKEY_LOCAL_MACHINE);
    if (key.get() == nullptr)
      return std::nullopt;
    // Starts at 2048 bytes and grows to whatever size the system reports.
    std::vector<BYTE> buffer(2048);
    for (;;) {
      DWORD type = 0;
      DWORD size = static_cast<DWORD>(buffer.size());
      const LSTATUS status =
          RegQueryValueExW(key.get(), L"InstallLocation", nullptr, &type, buffer.data(), &size);
      if (status == ERROR_MORE_DATA) {
        buffer.resize(size > buffer.size() ? size : buffer.size() * 2);
        continue;
      }
      if (status != ERROR_SUCCESS)
        return std::nullopt;
      return registry_value_text(
          type, std::u16string_view(reinterpret_cast<const char16_t*>(buffer.data()), size / 2));
    }
  }
};

}  // namespace

InstallRegistry& system_install_registry() {
  static Win32InstallRegistry registry;
  return registry;
}

}  // namespace quarvel
