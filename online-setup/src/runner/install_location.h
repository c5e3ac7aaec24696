// Where the application should be installed when no --install-dir is given:
// a registered installation that is still present, else the per-user default.
// Never fails, never writes. Any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/file_system.h"
#include "core/registry_value.h"
#include "runner/system_paths.h"

namespace quarvel {

enum class RegistryRoot { kCurrentUser, kLocalMachine };

// Reads "InstallLocation" of the product's uninstall key.
class InstallRegistry {
 public:
  virtual ~InstallRegistry() = default;
  // The value as text; nullopt when the key or value is missing, unreadable
  // or of a type other than REG_SZ, REG_EXPAND_SZ or REG_MULTI_SZ.
  virtual std::optional<std::string> install_location(RegistryRoot root) = 0;
};

// The text of a registry value's UTF-16 data: REG_SZ and REG_EXPAND_SZ taken
// literally, REG_MULTI_SZ joined with line feeds, trailing NULs removed.
// nullopt for any other type.
std::optional<std::string> registry_value_text(uint32_t type, std::u16string_view data);

// The first root (HKCU, then HKLM) whose location holds both "quarvel-install.json"
// and "Quarvel.exe" as files; else LOCALAPPDATA (or the temporary directory)
// joined with "Programs" and "Quarvel".
std::string discover_install_location(InstallRegistry& registry,
                                      FileSystem& files,
                                      SystemPaths& paths);

// The real registry (Windows only): KEY_READ on
// "Software\Microsoft\Windows\CurrentVersion\Uninstall\QuarvelOnline".
InstallRegistry& system_install_registry();

}  // namespace quarvel
