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
};

TEST(Entry, WindowModeEndsWithZeroWhateverHappens) {
  Calls calls;
  EXPECT_EQ(
      run_selected_mode({"p", "--quiet", "--show-ui"}, ProcessAccount::kUser, calls.operations()),
      0);
  EXPECT_EQ(calls.log, (std::vector<std::string>{"window"}));
}

TEST(Entry, HeadlessUsesTheGivenLocationVerbatimWithoutDiscovery) {
  Calls calls;
  EXPECT_EQ(run_selected_mode({"p", "--install-dir", "", "--quiet"}, ProcessAccount::kUser,
                              calls.operations()),
            0);
  EXPECT_EQ(calls.log, (std::vector<std::string>{"run ", "report ok"}));
}

TEST(Entry, HeadlessDiscoversTheLocationAlsoForDownloadOnly) {
  Calls calls;
  calls.outcome = Failure{"本机用户目录不可用"};
  EXPECT_EQ(run_selected_mode({"p", "--download-only", "--install-dir"}, ProcessAccount::kUser,
                              calls.operations()),
            1);
  EXPECT_EQ(calls.log, (std::vector<std::string>{
                           "discover", "run C:\\Users\\u\\AppData\\Local\\Programs\\Quarvel",
                           "report 本机用户目录不可用"}));
}

TEST(Entry, InstallDirFollowedByQuietTakesThatSwitchAsTheLocation) {
  Calls calls;
  EXPECT_EQ(run_selected_mode({"p", "--install-dir", "--quiet"}, ProcessAccount::kUser,
                              calls.operations()),
            0);
  EXPECT_EQ(calls.log.front(), "run --quiet");
}

TEST(Entry, ASecondStartWaitsForNobodyHeadlessAndTellsThePersonInTheWindow) {
  const std::string box = "information 已有一个 Quarvel 在线安装程序正在运行。";
  for (const ArgumentList& headless :
       {ArgumentList{"p", "--quiet", "--report", "r.json"}, ArgumentList{"p", "--download-only"}}) {
    Calls calls;
    EXPECT_EQ(refuse_second_start(headless, calls.operations()), 1618);
    EXPECT_EQ(calls.log, std::vector<std::string>{});
  }
  for (const ArgumentList& window :
       {ArgumentList{"p"}, ArgumentList{"p", "--quiet", "--show-ui", "--report", "r.json"}}) {
    Calls calls;
    EXPECT_EQ(refuse_second_start(window, calls.operations()), 0);
    EXPECT_EQ(calls.log, std::vector<std::string>{box});
  }
}

TEST(Entry, AServiceAccountIsRefusedBeforeAnythingElseUnlessBothFoldersAreGiven) {
  const std::string refusal(
      *service_account_refusal(ProcessAccount::kLocalSystem, {"p", "--quiet"}));
  Calls headless;
  EXPECT_EQ(run_selected_mode({"p", "--quiet", "--cache-dir", "C:\\Cache"},
                              ProcessAccount::kLocalSystem, headless.operations()),
            1625);
  EXPECT_EQ(headless.log, std::vector<std::string>{"report " + refusal});

  Calls window;
  EXPECT_EQ(run_selected_mode({"p"}, ProcessAccount::kLocalSystem, window.operations()), 0);
  EXPECT_EQ(window.log, std::vector<std::string>{"warning " + refusal});

  Calls given;
  EXPECT_EQ(
      run_selected_mode({"p", "--quiet", "--install-dir", "C:\\Apps", "--cache-dir", "C:\\Cache"},
                        ProcessAccount::kLocalService, given.operations()),
      0);
  EXPECT_EQ(given.log, (std::vector<std::string>{"run C:\\Apps", "report ok"}));
}

}  // namespace
}  // namespace quarvel
