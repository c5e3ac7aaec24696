// CreateProcessW for the setup: the package path as the application, the
// command line as composed, handles and environment inherited, this program's
// valid standard handles passed on explicitly (inheritable), the user's temporary directory
// as working directory; waits without a time limit. Runs on the install run's
// thread.
#include <windows.h>

#include <array>

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
    if (info.hThread != nullptr)
      CloseHandle(info.hThread);
    if (info.hProcess != nullptr)
      CloseHandle(info.hProcess);
  }
};

// Inheritable copies of standard handles, made for one start and closed
// when it has returned (the setup holds its own).
class InheritableCopies {
 public:
  InheritableCopies() = default;
  InheritableCopies(const InheritableCopies&) = delete;
  InheritableCopies& operator=(const InheritableCopies&) = delete;
  ~InheritableCopies() {
    for (const HANDLE copy : copies_) {
      if (copy != nullptr)
        CloseHandle(copy);
    }
  }
  // An inheritable duplicate of the handle; null when it cannot be made.
  HANDLE copy(size_t slot, HANDLE handle) {
    if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copies_[slot], 0, TRUE,
                         DUPLICATE_SAME_ACCESS)) {
      copies_[slot] = nullptr;
    }
    return copies_[slot];
  }

 private:
  std::array<HANDLE, 3> copies_{};
};

// Named in STARTUPINFO, the documented way to give a child its standard
// handles, ours become the setup's: a caller that redirected our output gets
// the setup's too. The child inherits only inheritable handles, so one that
// is not is passed as an inheritable copy. (Wine passes them on even
// without; README lists that.)
void pass_standard_handles(STARTUPINFOW& startup, InheritableCopies& copies) {
  std::array<HANDLE, 3> handles{GetStdHandle(STD_INPUT_HANDLE), GetStdHandle(STD_OUTPUT_HANDLE),
                                GetStdHandle(STD_ERROR_HANDLE)};
  std::array<OwnStandardHandle, 3> own{};
  for (size_t i = 0; i < own.size(); ++i) {
    own[i].value = reinterpret_cast<uintptr_t>(handles[i]);
    DWORD flags = 0;
    if (handles[i] != nullptr && GetHandleInformation(handles[i], &flags))
      own[i].flags = flags;
  }
  const std::optional<StandardHandleHandovers> handovers = standard_handles_for_setup(own);
  if (!handovers)
    return;
  for (size_t i = 0; i < handles.size(); ++i) {
    switch ((*handovers)[i]) {
      case HandleHandover::kNone:
        handles[i] = nullptr;
        break;
      case HandleHandover::kAsIs:
        break;
      case HandleHandover::kInheritableCopy:
        handles[i] = copies.copy(i, handles[i]);
        break;
    }
  }
  startup.dwFlags |= STARTF_USESTDHANDLES;
  startup.hStdInput = handles[0];
  startup.hStdOutput = handles[1];
  startup.hStdError = handles[2];
}

// CreateProcessW with our standard handles: 0, or its error (read before the
// copies made for it are closed).
DWORD create_setup_process(const std::wstring& application,
                           std::wstring& line,
                           const std::wstring& directory,
                           PROCESS_INFORMATION& process) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  InheritableCopies copies;
  pass_standard_handles(startup, copies);
  if (CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                     directory.empty() ? nullptr : directory.c_str(), &startup, &process)) {
    return 0;
  }
  return GetLastError();
}

class Win32SetupLauncher final : public SetupLauncher {
 public:
  Result<uint32_t> run_and_wait(const std::string& program,
                                const std::string& command_line) override {
    const std::wstring application = win32::widen(program);
    std::wstring line = win32::widen(command_line);  // CreateProcessW may write into it
    const std::wstring directory = win32::widen(system_paths().temp_dir());
    ProcessHandles process;
    if (const DWORD error = create_setup_process(application, line, directory, process.info)) {
      return Failure{"无法启动安装：" + system_error_text(error), error};
    }
    WaitForSingleObject(process.info.hProcess, INFINITE);
    DWORD exit_code = 1;
    if (!GetExitCodeProcess(process.info.hProcess, &exit_code))
      exit_code = 1;
    return static_cast<uint32_t>(exit_code);
  }
};

}  // namespace

SetupLauncher& system_setup_launcher() {
  static Win32SetupLauncher launcher;
  return launcher;
}

}  // namespace quarvel
