// The entry's decisions: which mode a command line selects and which exit
// code an outcome gives. Pure functions, any thread.
#pragma once

#include "core/arguments.h"

namespace quarvel {

enum class RunMode { kWindow, kHeadless };

// --show-ui wins; else --download-only or --quiet select headless; else window.
RunMode choose_run_mode(const ArgumentList& arguments);

// Headless mode: 0 on success, 1 on failure. Window mode and a refused second
// start always end with 0.
int headless_exit_code(bool run_succeeded);

}  // namespace quarvel
