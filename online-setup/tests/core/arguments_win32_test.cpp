// Cross-checks the splitter against the platform's CommandLineToArgvW for the
// elements after the program path. Where the two differ, the runtime rules
// the program follows decide, and the case says so.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include "core/arguments.h"
#include "core/wide_win32.h"

namespace quarvel {
namespace {

ArgumentList platform_split(const std::wstring& line) {
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(line.c_str(), &count);
  ArgumentList arguments;
  for (int i = 0; argv != nullptr && i < count; ++i)
    arguments.push_back(win32::narrow(argv[i]));
  LocalFree(argv);
  return arguments;
}

ArgumentList ours(const std::wstring& line) {
  return split_command_line(std::u16string(line.begin(), line.end()), u"prog.exe");
}

ArgumentList after_program(ArgumentList arguments) {
  if (!arguments.empty())
    arguments.erase(arguments.begin());
  return arguments;
}

TEST(CommandLineAgainstPlatform, AgreesAfterTheProgramPath) {
  const std::wstring lines[] = {
      L"prog a b",
      L"prog \"a b\" c",
      L"prog\ta\t\tb",
      L"prog a\\\\b c\\",
      L"prog a\\\\\"b c\"",
      L"prog a\\\\\\\"b",
      L"prog \\\"x\\\"",
      L"prog \"a\\\\\" b",
      L"prog \"\" x",
      L"prog a\"b c\"d",
      L"prog \"a b",
      L"\"C:\\Program Files\\q.exe\" --cache-dir \"D:\\my cache\\\\\" --quiet",
      L"prog --install-dir \"D:\\Quarvel 安装\" --report r.json",
  };
  for (const std::wstring& line : lines) {
    EXPECT_EQ(after_program(ours(line)), after_program(platform_split(line)))
        << win32::narrow(line);
  }
}

struct KnownDifference {
  const wchar_t* line;
  ArgumentList runtime_rules;  // what the program splits: the C runtime's rules
  ArgumentList platform;       // what CommandLineToArgvW gives here
};

// The C runtime keeps quoting after "" inside a quoted part and reads element 0
// with quotes that only toggle; CommandLineToArgvW ends quoting at "" and ends
// a quoted element 0 at its closing quote. The runtime rules decide.
TEST(CommandLineAgainstPlatform, KnownDifferences) {
  const KnownDifference cases[] = {
      {L"prog \"a\"\"b c\" d", {"prog", "a\"b c", "d"}, {"prog", "a\"b", "c d"}},
      {L"prog \"\"\"a b", {"prog", "\"a b"}, {"prog", "\"a", "b"}},
      {L"pro\"g ram\"x y", {"prog ramx", "y"}, {"pro\"g", "ramx y"}},
      {L"\"C:\\a b\\\"x y", {"C:\\a b\\x", "y"}, {"C:\\a b\\", "x", "y"}},
  };
  for (const KnownDifference& known : cases) {
    EXPECT_EQ(ours(known.line), known.runtime_rules) << win32::narrow(known.line);
    EXPECT_EQ(platform_split(known.line), known.platform) << win32::narrow(known.line);
  }
}

TEST(CommandLineAgainstPlatform, ProcessArgumentsComeFromTheRealCommandLine) {
  // The test program's own command line, split both ways.
  const std::wstring line = GetCommandLineW();
  EXPECT_EQ(after_program(ours(line)), after_program(platform_split(line)));
}

}  // namespace
}  // namespace quarvel
