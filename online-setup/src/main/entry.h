// What the entry does once it knows whether the single-instance guard is
// held: refuse a second start, or refuse a service account's start, or choose
// the mode and run it. The operations and the account are passed in so the
// decisions are testable without a window, a network, a registry or a service
// account. Entry thread only.
#pragma once

#include <functional>
#include <string>

#include "core/arguments.h"
#include "main/service_account.h"
#include "runner/run_outcome.h"

namespace quarvel {

enum class MessageIcon { kInformation, kWarning };

struct EntryOperations {
  std::function<void()> window_main;
  std::function<std::string()> discover_install_location;
  std::function<RunOutcome(const std::string& install_location, const ArgumentList&)> run_headless;
  std::function<void(const ArgumentList&, const RunOutcome&)> write_report;
  // A message box captioned "Quarvel", no owner; returns once it is dismissed.
  std::function<void(const std::string& text, MessageIcon)> show_message;
};

// A start that found the guard taken (or could not create it). The window
// shows the message and ends with 0; headless waits for nobody and touches
// neither the report nor the progress file, which belong to the running
// instance: it ends at once with 1618.
int refuse_second_start(const ArgumentList& arguments, const EntryOperations& operations);

// Runs the selected mode and returns the process exit code: 0 for window mode,
// 0 or 1 for a headless run that succeeded or failed. A start under a service
// account (`account`, the process token's) that would use its own profile is
// refused before anything else is done: the window shows the message and ends
// with 0, headless writes it as the failure report and ends with 1625.
int run_selected_mode(const ArgumentList& arguments,
                      ProcessAccount account,
                      const EntryOperations& operations);

}  // namespace quarvel
