// CreateProcessW for the setup: the package path as the application, the
// command line as composed, handles and environment inherited, this program's
// valid standard handles passed on explicitly, the user's temporary directory
// as working directory; waits without a time limit. Runs on the install run's
// thread.
#include <windows.h>

#include "core/os_error.h"
#include "core/wide_win32.h"
#include "runner/setup_launch.h"
#include "runner/system_paths.h"

namespace quarvel {
namespace {

class ProcessHandles {
 public:
  PROCESS_INFORMATION info{};
  ~ProcessHandles() {
    if (info.hThread != nullptr) CloseHandle(info.hThread);
    if (info.hProcess != nullptr) CloseHandle(info.hProcess);
  }
};

// Named in STARTUPINFO, the documented way to give a child its standard
// handles, ours become the setup's: a caller that redirected our output gets
// the setup's too. (Wine passes them on even without; README lists that.)
void pass_standard_handles(STARTUPINFOW& startup) {
  const StandardHandles own{reinterpret_cast<uintptr_t>(GetStdHandle(STD_INPUT_HANDLE)),
                            reinterpret_cast<uintptr_t>(GetStdHandle(STD_OUTPUT_HANDLE)),
                            reinterpret_cast<uintptr_t>(GetStdHandle(STD_ERROR_HANDLE))};
  const std::optional<StandardHandles> given = standard_handles_for_setup(own);
  if (!given) return;
  startup.dwFlags |= STARTF_USESTDHANDLES;
  startup.hStdInput = reinterpret_cast<HANDLE>((*given)[0]);
  startup.hStdOutput = reinterpret_cast<HANDLE>((*given)[1]);
  startup.hStdError = reinterpret_cast<HANDLE>((*given)[2]);
}

class Win32SetupLauncher final : public SetupLauncher {
 public:
  Result<uint32_t> run_and_wait(const std::string& program, const std::string& command_line) override {
    const std::wstring application = win32::widen(program);
    std::wstring line = win32::widen(command_line);  // CreateProcessW may write into it
    const std::wstring directory = win32::widen(system_paths().temp_dir());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    pass_standard_handles(startup);
    ProcessHandles process;
    if (!CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        directory.empty() ? nullptr : directory.c_str(), &startup, &process.info)) {
      const DWORD error = GetLastError();
      return Failure{"无法启动安装：" + system_error_text(error), error};
    }
    WaitForSingleObject(process.info.hProcess, INFINITE);
    DWORD exit_code = 1;
    if (!GetExitCodeProcess(process.info.hProcess, &exit_code)) exit_code = 1;
    return static_cast<uint32_t>(exit_code);
  }
};

}  // namespace

SetupLauncher& system_setup_launcher() {
  static Win32SetupLauncher launcher;
  return launcher;
}

}  // namespace quarvel
