// A stand-in for the real Quarvel setup, served as the package by tests and
// the demo. Like a real setup it installs into the folder after
// "--install-dir": it creates Quarvel.exe and quarvel-install.json there and
// registers InstallLocation under HKCU, so a later run discovers it.
//
// Controlled by the environment it inherits from the installer:
//   QUARVEL_STAND_IN_RECORD     file that receives a JSON record of the call
//                               (command line, arguments, working directory)
//   QUARVEL_STAND_IN_EXIT_CODE  exit code to end with (default 0)
//   QUARVEL_STAND_IN_SECONDS    seconds to wait before installing (default 0)
//   QUARVEL_STAND_IN_OUTPUT     text to write to its standard output, as a
//                               setup's log would go to a caller's redirection
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "core/file_system.h"
#include "core/json_text.h"
#include "core/wide_win32.h"

namespace {

using quarvel::win32::narrow;
using quarvel::win32::widen;

std::wstring environment(const wchar_t* name) {
  wchar_t buffer[32768];
  const DWORD length = GetEnvironmentVariableW(name, buffer, 32768);
  return length > 0 && length < 32768 ? std::wstring(buffer, length) : std::wstring();
}

std::wstring working_directory() {
  wchar_t buffer[MAX_PATH * 4];
  const DWORD length = GetCurrentDirectoryW(MAX_PATH * 4, buffer);
  return std::wstring(buffer, length);
}

void write_file(const std::wstring& path, const std::string& bytes) {
  (void)quarvel::replace_file_contents(quarvel::system_file_system(), narrow(path), bytes);
}

void install(const std::wstring& folder) {
  (void)quarvel::system_file_system().create_directories(narrow(folder));
  const std::wstring base = folder.empty() || folder.back() == L'\\' ? folder : folder + L"\\";
  write_file(base + L"Quarvel.exe", "MZ stand-in application");
  write_file(base + L"quarvel-install.json", "{\"installedBy\":\"stand-in setup\"}");
  HKEY key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER,
                      L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QuarvelOnline", 0,
                      nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
    RegSetValueExW(key, L"InstallLocation", 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(folder.c_str()),
                   static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  nlohmann::json arguments = nlohmann::json::array();
  std::wstring install_dir;
  for (int i = 1; i < count; ++i) {
    arguments.push_back(narrow(argv[i]));
    if (std::wstring(argv[i]) == L"--install-dir" && i + 1 < count)
      install_dir = argv[i + 1];
  }
  LocalFree(argv);

  const std::wstring record = environment(L"QUARVEL_STAND_IN_RECORD");
  if (!record.empty()) {
    const nlohmann::json call = {{"commandLine", narrow(GetCommandLineW())},
                                 {"arguments", arguments},
                                 {"workingDirectory", narrow(working_directory())}};
    write_file(record, quarvel::json_pretty(call));
  }
  const std::string output = narrow(environment(L"QUARVEL_STAND_IN_OUTPUT"));
  if (!output.empty()) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), output.data(), static_cast<DWORD>(output.size()),
              &written, nullptr);
  }
  const std::wstring seconds = environment(L"QUARVEL_STAND_IN_SECONDS");
  if (!seconds.empty())
    Sleep(static_cast<DWORD>(_wtoi(seconds.c_str())) * 1000);
  const std::wstring exit_code = environment(L"QUARVEL_STAND_IN_EXIT_CODE");
  const int code = exit_code.empty() ? 0 : _wtoi(exit_code.c_str());
  if (code == 0 && !install_dir.empty())
    install(install_dir);
  return code;
}
