// Starting the downloaded setup and judging its exit code. The decisions are portable;
// SetupLauncher is the platform seam (CreateProcessW on Windows). Runs on the install run's thread.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/arguments.h"
#include "core/contention_retry.h"
#include "core/result.h"

namespace quarvel {

// "--online-install", "--install-dir", the location, then "--portable",
// "--no-launch" and "--profile" VALUE when this program's arguments carry them
// (each at most once).
std::vector<std::string> setup_arguments(const std::string& install_location,
                                         const ArgumentList& arguments);

// The program path in double quotes, then each argument after one space,
// quoted so that the C runtime's splitting recovers it unchanged.
std::string compose_command_line(std::string_view program,
                                 const std::vector<std::string>& arguments);

// Starts a program and waits for it without a time limit.
class SetupLauncher {
 public:
  virtual ~SetupLauncher() = default;
  // The exit code; "无法启动安装：" + the system error text (carrying its
  // code) when it cannot start.
  virtual Result<uint32_t> run_and_wait(const std::string& program,
                                        const std::string& command_line) = 0;
};

// Starts the setup with its command line and waits: nothing on exit code 0,
// else "安装未完成，原有文件和记录已保留。请检查目录权限后重试。"; a start failure
// message unchanged. A start refused because another process holds the package
// is tried again under the retry; when that runs out, its last start failure.
Status launch_setup(SetupLauncher& launcher,
                    const ContentionRetry& retry,
                    const std::string& package_path,
                    const std::string& install_location,
                    const ArgumentList& arguments);

// One of this process's standard handles as the system reports it.
struct OwnStandardHandle {
  uintptr_t value = 0;
  // GetHandleInformation's flags; nullopt when it refuses the value (a
  // closed or foreign handle).
  std::optional<uint32_t> flags;
};

// How the setup is given one standard handle: not at all (null), as it is
// (inheritable already), or as an inheritable duplicate that is closed once
// the setup has started.
enum class HandleHandover { kNone, kAsIs, kInheritableCopy };

using StandardHandleHandovers = std::array<HandleHandover, 3>;

// For this program's standard input, output and error: a handle that is
// null, INVALID_HANDLE_VALUE or unknown to the system is not passed; one
// without HANDLE_FLAG_INHERIT is passed as an inheritable copy (the setup
// inherits only inheritable handles). nullopt when none is passed, so the
// setup starts as it would without them.
std::optional<StandardHandleHandovers> standard_handles_for_setup(
    const std::array<OwnStandardHandle, 3>& own);

// CreateProcessW with the user's temporary directory as working directory
// (Windows only).
SetupLauncher& system_setup_launcher();

}  // namespace quarvel
