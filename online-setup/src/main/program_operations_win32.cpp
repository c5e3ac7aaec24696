#include "main/program_operations_win32.h"

#include <windows.h>

#include "core/file_system.h"
#include "core/wide_win32.h"
#include "runner/install_location.h"
#include "runner/install_run.h"
#include "runner/report_file.h"
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
            write_report(system_file_system(), arguments, outcome);
          },
      .show_message =
          [](const std::string& text, MessageIcon icon) {
            MessageBoxW(
                nullptr, win32::widen(text).c_str(), L"Quarvel",
                MB_OK | (icon == MessageIcon::kWarning ? MB_ICONWARNING : MB_ICONINFORMATION));
          },
  };
  return operations;
}

}  // namespace quarvel
