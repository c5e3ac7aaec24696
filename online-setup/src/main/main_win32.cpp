// Program entry: restricts DLL loading, takes the single-instance guard and
// refuses the start or runs the selected mode (which takes the cache folder's
// lock). Entry thread.
#include <windows.h>

#include "core/process_arguments.h"
#include "core/system_libraries_win32.h"
#include "core/wide_win32.h"
#include "main/entry.h"
#include "main/process_account_win32.h"
#include "main/program_operations_win32.h"

namespace {

// Holds the named mutex from creation until the process ends; only its
// existence is used, it is never waited on.
class InstanceGuard {
 public:
  explicit InstanceGuard(const std::wstring& name)
      : handle_(CreateMutexW(nullptr, FALSE, name.c_str())),
        already_running_(handle_ == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) {}
  ~InstanceGuard() {
    if (handle_ != nullptr)
      CloseHandle(handle_);
  }
  InstanceGuard(const InstanceGuard&) = delete;
  InstanceGuard& operator=(const InstanceGuard&) = delete;
  bool already_running() const { return already_running_; }
  // On the already-running path the handle is left to the process's end.
  void abandon() { handle_ = nullptr; }

 private:
  HANDLE handle_;
  bool already_running_;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Before anything else can load a library from the program's folder.
  quarvel::win32::restrict_dll_search_to_system32();
  const quarvel::ArgumentList& arguments = quarvel::process_arguments();
  const quarvel::ProcessAccount account = quarvel::win32::process_account();
  int exit_code = 0;
  {
    InstanceGuard guard(quarvel::win32::widen(quarvel::instance_mutex_name(arguments)));
    if (guard.already_running()) {
      guard.abandon();
      ExitProcess(static_cast<UINT>(
          quarvel::refuse_second_start(arguments, account, quarvel::program_operations())));
    }
    exit_code = quarvel::run_selected_mode(arguments, account, quarvel::program_operations());
  }
  ExitProcess(static_cast<UINT>(exit_code));
}
