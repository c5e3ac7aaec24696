// The setup's command line as the platform's own splitting reads it.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <random>

#include "core/wide_win32.h"
#include "runner/setup_launch.h"

namespace quarvel {
namespace {

std::vector<std::string> platform_split_after_program(const std::string& line) {
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(win32::widen(line).c_str(), &count);
  std::vector<std::string> arguments;
  for (int i = 1; argv != nullptr && i < count; ++i)
    arguments.push_back(win32::narrow(argv[i]));
  LocalFree(argv);
  return arguments;
}

TEST(SetupCommandLineOnWindows, CommandLineToArgvWRecoversEveryArgument) {
  std::mt19937 random(1208);
  const std::vector<std::string> pieces{"a", " ", "\t", "\"", "\\", "安装", "-", "\\\""};
  for (int round = 0; round < 500; ++round) {
    std::vector<std::string> arguments(1 + random() % 4);
    for (std::string& argument : arguments) {
      for (int n = random() % 6; n > 0; --n)
        argument += pieces[random() % pieces.size()];
    }
    const std::string line = compose_command_line("C:\\q\\Setup.exe", arguments);
    ASSERT_EQ(platform_split_after_program(line), arguments) << line;
  }
}

}  // namespace
}  // namespace quarvel
