// What the entry does once it knows whether the single-instance guard is
// held: refuse a second start, or refuse a service account's start, or take
// the cache folder's lock, choose the mode and run it. The operations and the
// account are passed in so the decisions are testable without a window, a
// network, a registry or a service account. Entry thread only.
#pragma once

#include <functional>
#include <string>

#include "core/arguments.h"
#include "main/cache_folder_lock.h"
#include "main/service_account.h"
#include "runner/run_outcome.h"

namespace quarvel {

enum class MessageIcon { kInformation, kWarning };

struct EntryOperations {
  std::function<void()> window_main;
  std::function<std::string()> discover_install_location;
  std::function<RunOutcome(const std::string& install_location, const ArgumentList&)> run_headless;
  std::function<void(const ArgumentList&, const RunOutcome&)> write_report;
  // The progress file beside --report with the text at 0 percent.
  std::function<void(const ArgumentList&, const std::string& text)> write_progress;
  // A message box captioned "Quarvel", no owner; returns once it is dismissed.
  std::function<void(const std::string& text, MessageIcon)> show_message;
  // The lock in the cache folder the run would use (lock_cache_folder).
  std::function<CacheFolderLock(const ArgumentList&)> lock_cache_folder;
};

// A start that found the guard taken (or could not create it), or the cache
// folder held by another run. The window shows the message and ends with 0;
// headless, and under a service account whatever the switches, it waits for
// nobody and touches neither the report nor the progress file, which belong
// to the running instance: it ends at once with 1618.
int refuse_second_start(const ArgumentList& arguments,
                        ProcessAccount account,
                        const EntryOperations& operations);

// Runs the selected mode and returns the process exit code: 0 for window mode,
// 0 or 1 for a headless run that succeeded or failed. Under a service account
// (`account`, the process token's) the run is always headless: a window or a
// message box would wait in a session no one sees. A start there that would
// use its own profile or working folder is refused before anything else is
// done: the refusal becomes the failure report and the progress file's text,
// and the exit code 1625. Then the cache folder's lock is taken for the whole
// run (not for a preview window, which runs nothing); a folder that another
// run holds ends the start as a second start.
int run_selected_mode(const ArgumentList& arguments,
                      ProcessAccount account,
                      const EntryOperations& operations);

}  // namespace quarvel
