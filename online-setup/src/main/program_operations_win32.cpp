#include "main/program_operations_win32.h"

#include "core/file_system.h"
#include "runner/run_status.h"
#include "windows_ui/window_main.h"

namespace quarvel {

// Interim wiring while the install run, the report and the window are built:
// headless mode only reports its first status and fails.
const EntryOperations& program_operations() {
  static const EntryOperations operations{
      .window_main = window_main,
      .discover_install_location = [] { return std::string(); },
      .run_headless =
          [](const std::string&, const ArgumentList& arguments) -> RunOutcome {
        SharedStatusReporter reporter(shared_status(), system_file_system(), arguments);
        reporter.set_status("正在获取最新的 Quarvel 1.02…", 0);
        return Failure{"在线安装尚未完成"};
      },
      .write_report = [](const ArgumentList&, const RunOutcome&) {},
  };
  return operations;
}

}  // namespace quarvel
