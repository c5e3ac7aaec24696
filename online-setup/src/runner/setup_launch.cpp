#include "runner/setup_launch.h"

namespace quarvel {
namespace {

bool needs_quotes(std::string_view argument) {
  // A double quote is quoted too: bare, the splitter would read it as quoting.
  return argument.empty() || argument.find_first_of(" \t\"") != std::string_view::npos;
}

void append_quoted(std::string& line, std::string_view argument) {
  line.push_back('"');
  size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote are doubled, and the quote itself escaped.
    line.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    line.push_back(c);
  }
  line.append(backslashes * 2, '\\');  // they precede the closing quote
  line.push_back('"');
}

}  // namespace

std::vector<std::string> setup_arguments(const std::string& install_location,
                                         const ArgumentList& arguments) {
  std::vector<std::string> setup{"--online-install", "--install-dir", install_location};
  if (has_switch(arguments, "--portable"))
    setup.emplace_back("--portable");
  if (has_switch(arguments, "--no-launch"))
    setup.emplace_back("--no-launch");
  if (const auto profile = switch_value(arguments, "--profile")) {
    setup.emplace_back("--profile");
    setup.push_back(*profile);
  }
  return setup;
}

std::string compose_command_line(std::string_view program,
                                 const std::vector<std::string>& arguments) {
  std::string line = "\"" + std::string(program) + "\"";
  for (const std::string& argument : arguments) {
    line.push_back(' ');
    if (needs_quotes(argument)) {
      append_quoted(line, argument);
    } else {
      line.append(argument);
    }
  }
  return line;
}

Status launch_setup(SetupLauncher& launcher,
                    const ContentionRetry& retry,
                    const std::string& package_path,
                    const std::string& install_location,
                    const ArgumentList& arguments) {
  const std::string line =
      compose_command_line(package_path, setup_arguments(install_location, arguments));
  const Result<uint32_t> exit_code =
      retry_on_contention(retry, [&] { return launcher.run_and_wait(package_path, line); });
  if (!exit_code)
    return exit_code.failure();
  if (*exit_code != 0)
    return Failure{"安装未完成，原有文件和记录已保留。请检查目录权限后重试。"};
  return Ok{};
}

std::optional<StandardHandleHandovers> standard_handles_for_setup(
    const std::array<OwnStandardHandle, 3>& own) {
  constexpr uintptr_t kInvalidHandle = ~uintptr_t{0};  // INVALID_HANDLE_VALUE
  constexpr uint32_t kInherit = 1;                     // HANDLE_FLAG_INHERIT
  StandardHandleHandovers handovers{};
  bool any = false;
  for (size_t i = 0; i < own.size(); ++i) {
    const OwnStandardHandle& handle = own[i];
    if (handle.value == 0 || handle.value == kInvalidHandle || !handle.flags)
      continue;
    handovers[i] =
        (*handle.flags & kInherit) != 0 ? HandleHandover::kAsIs : HandleHandover::kInheritableCopy;
    any = true;
  }
  if (!any)
    return std::nullopt;
  return handovers;
}

}  // namespace quarvel
