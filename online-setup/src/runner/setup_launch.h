// Starting the downloaded setup and judging its exit code. The decisions are portable; SetupLauncher is the platform
// seam (CreateProcessW on Windows). Runs on the install run's thread.
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
std::string compose_command_line(std::string_view program, const std::vector<std::string>& arguments);

// Starts a program and waits for it without a time limit.
class SetupLauncher {
 public:
  virtual ~SetupLauncher() = default;
  // The exit code; "无法启动安装：" + the system error text (carrying its
  // code) when it cannot start.
  virtual Result<uint32_t> run_and_wait(const std::string& program, const std::string& command_line) = 0;
};

// Starts the setup with its command line and waits: nothing on exit code 0,
// else "安装未完成，原有文件和记录已保留。请检查目录权限后重试。"; a start failure
// message unchanged. A start refused because another process holds the package
// is tried again under the retry; when that runs out, its last start failure.
Status launch_setup(SetupLauncher& launcher, const ContentionRetry& retry,
                    const std::string& package_path, const std::string& install_location,
                    const ArgumentList& arguments);

// One process's standard input, output and error handles as raw values.
using StandardHandles = std::array<uintptr_t, 3>;

// What the setup is given as its standard handles: each of the program's own
// that is valid (neither null nor INVALID_HANDLE_VALUE), null for the others;
// nullopt when none is valid, so the setup starts as it would without them.
std::optional<StandardHandles> standard_handles_for_setup(const StandardHandles& own);

// CreateProcessW with the user's temporary directory as working directory
// (Windows only).
SetupLauncher& system_setup_launcher();

}  // namespace quarvel
