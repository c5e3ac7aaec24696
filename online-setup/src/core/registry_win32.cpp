// RegOpenKeyExW / RegQueryValueExW / RegCloseKey. Any thread.
#include "core/registry_win32.h"

namespace quarvel::win32 {

RegistryKey::RegistryKey(HKEY root, const wchar_t* path, REGSAM access) {
  if (RegOpenKeyExW(root, path, 0, access, &key_) != ERROR_SUCCESS)
    key_ = nullptr;
}

RegistryKey::~RegistryKey() {
  if (key_ != nullptr)
    RegCloseKey(key_);
}

std::optional<RegistryValue> query_registry_value(const RegistryKey& key, const wchar_t* name) {
  if (key.get() == nullptr)
    return std::nullopt;
  // Starts at 2048 bytes and grows to whatever size the system reports (the
  // value may change between two calls).
  RegistryValue value;
  value.data.resize(2048);
  for (;;) {
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(value.data.size());
    const LSTATUS status =
        RegQueryValueExW(key.get(), name, nullptr, &type, value.data.data(), &size);
    if (status == ERROR_MORE_DATA) {
      value.data.resize(size > value.data.size() ? size : value.data.size() * 2);
      continue;
    }
    if (status != ERROR_SUCCESS)
      return std::nullopt;
    value.type = type;
    value.data.resize(size);
    return value;
  }
}

}  // namespace quarvel::win32
