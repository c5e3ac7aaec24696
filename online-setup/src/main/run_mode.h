// The entry's decisions: which mode a command line selects and which exit
// code an outcome gives. Pure functions, any thread.
#pragma once

#include "core/arguments.h"

namespace quarvel {

enum class RunMode { kWindow, kHeadless };

// Exit codes. The two above 1 are Windows Installer's, which deployment tools
// already read: 1618 (ERROR_INSTALL_ALREADY_RUNNING) as "retry later", and
// 1625 (ERROR_INSTALL_PACKAGE_REJECTED) like every code they do not list as a
// failure, so a deployment that must be changed is never retried as it is.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitRunFailed = 1;
inline constexpr int kExitAlreadyRunning = 1618;
inline constexpr int kExitServiceAccount = 1625;

// --show-ui wins; else --download-only or --quiet select headless; else window.
RunMode choose_run_mode(const ArgumentList& arguments);

// Headless mode: 0 on success, 1 on failure.
int headless_exit_code(bool run_succeeded);

}  // namespace quarvel
