#include "main/program_operations_win32.h"

#include <windows.h>

#include <atomic>

#include "core/clock.h"
#include "core/file_system.h"
#include "core/random_source.h"
#include "core/wide_win32.h"
#include "runner/install_location.h"
#include "runner/install_run.h"
#include "runner/report_file.h"
#include "runner/run_status.h"
#include "windows_ui/window_main.h"

namespace quarvel {

const EntryOperations& program_operations() {
  static const EntryOperations operations{
      .window_main = window_main,
      .discover_install_location =
          [] {
            return discover_install_location(system_install_registry(), system_file_system(),
                                             system_paths());
          },
      .run_headless =
          [](const std::string& location, const ArgumentList& arguments) {
            return run_headless(process_run_environment(), location, arguments);
          },
      .write_report =
          [](const ArgumentList& arguments, const RunOutcome& outcome) {
            write_report(system_file_system(), system_random_source(), arguments, outcome);
          },
      .write_progress =
          [](const ArgumentList& arguments, const std::string& text) {
            write_progress_file(system_file_system(), system_random_source(), arguments, text, 0);
          },
      .show_message =
          [](const std::string& text, MessageIcon icon) {
            MessageBoxW(
                nullptr, win32::widen(text).c_str(), L"Quarvel",
                MB_OK | (icon == MessageIcon::kWarning ? MB_ICONWARNING : MB_ICONINFORMATION));
          },
      .lock_cache_folder =
          [](const ArgumentList& arguments) {
            static const std::atomic<bool> never_paused{false};
            const ContentionRetry retry{system_monotonic_clock(), never_paused, {}};
            return lock_cache_folder(system_file_system(), retry,
                                     cache_directory(system_paths(), arguments));
          },
  };
  return operations;
}

}  // namespace quarvel
