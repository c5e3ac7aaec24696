#include "runner/setup_launch.h"

#include <gtest/gtest.h>

#include <random>

#include "support/fake_clock.h"
#include "support/setup_round_trip.h"

namespace quarvel {
namespace {

using Arguments = std::vector<std::string>;

TEST(SetupArguments, FixedStartThenEachPassThroughSwitchOnce) {
  EXPECT_EQ(setup_arguments("D:\\Quarvel", {"p", "--quiet"}),
            (Arguments{"--online-install", "--install-dir", "D:\\Quarvel"}));
  EXPECT_EQ(setup_arguments("D:\\Q", {"p", "--profile", "x y", "--no-launch", "--portable",
                                      "--portable", "--profile", "z"}),
            (Arguments{"--online-install", "--install-dir", "D:\\Q", "--portable", "--no-launch",
                       "--profile", "x y"}));
  EXPECT_EQ(setup_arguments("", {"p", "--profile"}),
            (Arguments{"--online-install", "--install-dir", ""}))
      << "--profile standing last passes neither switch nor value";
}

TEST(ComposeCommandLine, QuotesOnlyWhatNeedsIt) {
  EXPECT_EQ(compose_command_line("C:\\cache\\Setup.exe", {"--install-dir", "D:\\My Apps\\Quarvel"}),
            "\"C:\\cache\\Setup.exe\" --install-dir \"D:\\My Apps\\Quarvel\"");
  EXPECT_EQ(compose_command_line("s.exe", {"", "a\\b\\", "x\ty"}),
            "\"s.exe\" \"\" a\\b\\ \"x\ty\"");
  EXPECT_EQ(compose_command_line("s.exe", {"a b\\"}), "\"s.exe\" \"a b\\\\\"")
      << "backslashes before the closing quote are doubled";
  EXPECT_EQ(compose_command_line("s.exe", {"say \"hi\\\" now"}),
            "\"s.exe\" \"say \\\"hi\\\\\\\" now\"");
}

TEST(ComposeCommandLine, ArgumentWithAQuoteButNoSpaceRoundTrips) {
  const Arguments arguments{"a\"b", "\"", "\\\"", "--profile", "x\"y\\"};
  EXPECT_EQ(testing_support::split_after_program(compose_command_line("s.exe", arguments)),
            arguments);
}

TEST(ComposeCommandLine, GeneratedArgumentsRoundTripThroughTheSplitter) {
  std::mt19937 random(20261208);
  const std::vector<std::string> pieces{"a",    " ",    "\t", "\"", "\\",
                                        "\\\\", "安装", "é",  "-",  "\\\""};
  for (int round = 0; round < 2000; ++round) {
    Arguments arguments(random() % 5);
    for (std::string& argument : arguments) {
      for (int n = random() % 7; n > 0; --n)
        argument += pieces[random() % pieces.size()];
    }
    const std::string line = compose_command_line("C:\\q\\Setup.exe", arguments);
    ASSERT_EQ(testing_support::split_after_program(line), arguments) << line;
  }
}

// Answers with a chosen exit code or start failure, and records the call.
class RecordingLauncher final : public SetupLauncher {
 public:
  Result<uint32_t> answer = uint32_t{0};
  std::string program, command_line;
  Result<uint32_t> run_and_wait(const std::string& p, const std::string& line) override {
    program = p;
    command_line = line;
    return answer;
  }
};

TEST(LaunchSetup, JudgesTheExitCode) {
  testing_support::FakeClock clock;
  const std::atomic<bool> pause{false};
  const ContentionRetry retry{clock, pause, {}};
  RecordingLauncher launcher;
  EXPECT_TRUE(launch_setup(launcher, retry, "C:\\c\\S.exe", "D:\\Q", {"p", "--no-launch"}).ok());
  EXPECT_EQ(launcher.program, "C:\\c\\S.exe");
  EXPECT_EQ(launcher.command_line,
            "\"C:\\c\\S.exe\" --online-install --install-dir D:\\Q --no-launch");

  launcher.answer = uint32_t{3010};
  EXPECT_EQ(launch_setup(launcher, retry, "S.exe", "D:\\Q", {"p"}).message(),
            "安装未完成，原有文件和记录已保留。请检查目录权限后重试。");

  launcher.answer = Failure{"无法启动安装：找不到文件。 (os error 2)"};
  EXPECT_EQ(launch_setup(launcher, retry, "S.exe", "D:\\Q", {"p"}).message(),
            "无法启动安装：找不到文件。 (os error 2)");
}

TEST(StandardHandlesForSetup, PassesTheUsableOnesAndCopiesTheNonInheritableAsInheritable) {
  using enum HandleHandover;
  const OwnStandardHandle null{0, 0}, invalid{~uintptr_t{0}, 0}, closed{0x44, std::nullopt},
      inheritable{0x8, 1}, not_inheritable{0xC, 0}, protected_only{0x10, 2};
  EXPECT_EQ(standard_handles_for_setup({null, invalid, closed}), std::nullopt);
  EXPECT_EQ(standard_handles_for_setup({closed, inheritable, invalid}),
            (StandardHandleHandovers{kNone, kAsIs, kNone}));
  EXPECT_EQ(standard_handles_for_setup({not_inheritable, protected_only, inheritable}),
            (StandardHandleHandovers{kInheritableCopy, kInheritableCopy, kAsIs}));
}

}  // namespace
}  // namespace quarvel
