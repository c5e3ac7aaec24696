#include "runner/install_location.h"

#include "core/paths.h"
#include "core/utf.h"

namespace quarvel {

std::optional<std::string> registry_value_text(uint32_t type, std::u16string_view data) {
  if (type != static_cast<uint32_t>(RegistryValueType::kString) &&
      type != static_cast<uint32_t>(RegistryValueType::kExpandString) &&
      type != static_cast<uint32_t>(RegistryValueType::kMultiString)) {
    return std::nullopt;
  }
  while (!data.empty() && data.back() == u'\0')
    data.remove_suffix(1);
  std::u16string text(data);
  if (type == static_cast<uint32_t>(RegistryValueType::kMultiString)) {
    for (char16_t& unit : text) {
      if (unit == u'\0')
        unit = u'\n';
    }
  }
  return utf16_to_utf8(text);
}

std::string discover_install_location(InstallRegistry& registry,
                                      FileSystem& files,
                                      SystemPaths& paths) {
  for (const RegistryRoot root : {RegistryRoot::kCurrentUser, RegistryRoot::kLocalMachine}) {
    const std::optional<std::string> location = registry.install_location(root);
    if (location && files.is_regular_file(join_path(*location, "quarvel-install.json")) &&
        files.is_regular_file(join_path(*location, "Quarvel.exe"))) {
      return *location;
    }
  }
  const std::optional<std::string> local = paths.local_app_data();
  return join_path(join_path(local ? *local : paths.temp_dir(), "Programs"), "Quarvel");
}

}  // namespace quarvel
