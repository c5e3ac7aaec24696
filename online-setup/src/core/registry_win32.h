// Reading registry values: an open key owned for its lifetime and one value's
// type and bytes. Any thread.
#pragma once

#include <windows.h>

#include <optional>

#include "core/registry_value.h"

namespace quarvel::win32 {

// One key opened for reading; closed when the owner goes. A key that cannot
// be opened (missing, or access denied) is held as none: get() is nullptr.
class RegistryKey {
 public:
  RegistryKey(HKEY root, const wchar_t* path, REGSAM access);
  ~RegistryKey();
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// The value's type and bytes, however long; nullopt when the key is none,
// the value is missing or cannot be read.
std::optional<RegistryValue> query_registry_value(const RegistryKey& key, const wchar_t* name);

}  // namespace quarvel::win32
