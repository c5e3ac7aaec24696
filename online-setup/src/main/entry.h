// What the entry does once the single-instance guard is held: choose the mode
// and run it. The operations are passed in so the decisions are testable
// without a window, a network or a registry. Entry thread only.
#pragma once

#include <functional>
#include <string>

#include "core/arguments.h"
#include "runner/run_outcome.h"

namespace quarvel {

struct EntryOperations {
  std::function<void()> window_main;
  std::function<std::string()> discover_install_location;
  std::function<RunOutcome(const std::string& install_location, const ArgumentList&)> run_headless;
  std::function<void(const ArgumentList&, const RunOutcome&)> write_report;
};

// Runs the selected mode and returns the process exit code: 0 for window mode,
// 0 or 1 for a headless run that succeeded or failed.
int run_selected_mode(const ArgumentList& arguments, const EntryOperations& operations);

}  // namespace quarvel
