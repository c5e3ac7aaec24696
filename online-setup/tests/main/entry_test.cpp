#include "main/entry.h"

#include <gtest/gtest.h>

#include <vector>

namespace quarvel {
namespace {

// Records which operations the entry called, and with what.
struct Calls {
  std::vector<std::string> log;
  RunOutcome outcome = nlohmann::json::object();

  EntryOperations operations() {
    return {
        .window_main = [this] { log.push_back("window"); },
        .discover_install_location =
            [this] {
              log.push_back("discover");
              return std::string("C:\\Users\\u\\AppData\\Local\\Programs\\Quarvel");
            },
        .run_headless =
            [this](const std::string& location, const ArgumentList&) {
              log.push_back("run " + location);
              return outcome;
            },
        .write_report =
            [this](const ArgumentList&, const RunOutcome& o) {
              log.push_back(o ? "report ok" : "report " + o.message());
            },
        .show_message =
            [this](const std::string& text, MessageIcon icon) {
              log.push_back((icon == MessageIcon::kWarning ? "warning " : "information ") + text);
            },
    };
  }

  int run(const ArgumentList& arguments, ProcessAccount account = ProcessAccount::kUser) {
    return run_selected_mode(arguments, account, operations());
  }
};

TEST(Entry, WindowModeEndsWithZeroWhateverHappens) {
  Calls calls;
  EXPECT_EQ(calls.run({"p", "--quiet", "--show-ui"}), 0);
  EXPECT_EQ(calls.log, (std::vector<std::string>{"window"}));
}

TEST(Entry, HeadlessUsesTheGivenLocationVerbatimWithoutDiscovery) {
  Calls calls;
  EXPECT_EQ(calls.run({"p", "--install-dir", "", "--quiet"}), 0);
  EXPECT_EQ(calls.log, (std::vector<std::string>{"run ", "report ok"}));
}

TEST(Entry, HeadlessDiscoversTheLocationAlsoForDownloadOnly) {
  Calls calls;
  calls.outcome = Failure{"本机用户目录不可用"};
  EXPECT_EQ(calls.run({"p", "--download-only", "--install-dir"}), 1);
  EXPECT_EQ(calls.log, (std::vector<std::string>{
                           "discover", "run C:\\Users\\u\\AppData\\Local\\Programs\\Quarvel",
                           "report 本机用户目录不可用"}));
}

TEST(Entry, InstallDirFollowedByQuietTakesThatSwitchAsTheLocation) {
  Calls calls;
  EXPECT_EQ(calls.run({"p", "--install-dir", "--quiet"}), 0);
  EXPECT_EQ(calls.log.front(), "run --quiet");
}

TEST(Entry, ASecondStartWaitsForNobodyHeadlessAndTellsThePersonInTheWindow) {
  Calls headless, window;
  EXPECT_EQ(refuse_second_start({"p", "--quiet", "--report", "r"}, headless.operations()), 1618);
  EXPECT_EQ(refuse_second_start({"p", "--download-only", "--show-ui"}, window.operations()), 0);
  EXPECT_EQ(headless.log, std::vector<std::string>{});
  EXPECT_EQ(window.log,
            std::vector<std::string>{"information 已有一个 Quarvel 在线安装程序正在运行。"});
}

TEST(Entry, AServiceAccountIsRefusedBeforeAnythingElse) {
  const std::string refusal(*service_account_refusal(ProcessAccount::kLocalSystem, {"p"}));
  Calls headless, window;
  EXPECT_EQ(headless.run({"p", "--quiet", "--cache-dir", "C:\\C"}, ProcessAccount::kLocalSystem),
            1625);
  EXPECT_EQ(window.run({"p"}, ProcessAccount::kLocalSystem), 0);
  EXPECT_EQ(headless.log, std::vector<std::string>{"report " + refusal});
  EXPECT_EQ(window.log, std::vector<std::string>{"warning " + refusal});
}

}  // namespace
}  // namespace quarvel
