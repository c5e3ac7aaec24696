// The per-user folders the run and the location discovery start from.
// Read-only queries, any thread.
#pragma once

#include <optional>
#include <string>

namespace quarvel {

class SystemPaths {
 public:
  virtual ~SystemPaths() = default;
  // The LOCALAPPDATA environment variable; nullopt when it is not set.
  virtual std::optional<std::string> local_app_data() = 0;
  // The user's temporary directory (GetTempPath2W where the system has it,
  // else GetTempPathW); empty when even that fails.
  virtual std::string temp_dir() = 0;
};

// The real environment (Windows only).
SystemPaths& system_paths();

}  // namespace quarvel
