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
        .discover_install_location = [this] {
          log.push_back("discover");
          return std::string("C:\\Users\\u\\AppData\\Local\\Programs\\Quarvel");
        },
        .run_headless =
            [this](const std::string& location, const ArgumentList&) {
              log.push_back("run " + location);
              return outcome;
            },
        .write_report = [this](const ArgumentList&,
                               const RunOutcome& o) { log.push_back(o ? "report ok" : "report " + o.message()); },
    };
  }
};

TEST(Entry, WindowModeEndsWithZeroWhateverHappens) {
  Calls calls;
  EXPECT_EQ(run_selected_mode({"p", "--quiet", "--show-ui"}, calls.operations()), 0);
  EXPECT_EQ(calls.log, (std::vector<std::string>{"window"}));
}

TEST(Entry, HeadlessUsesTheGivenLocationVerbatimWithoutDiscovery) {
  Calls calls;
  EXPECT_EQ(run_selected_mode({"p", "--install-dir", "", "--quiet"}, calls.operations()), 0);
  EXPECT_EQ(calls.log, (std::vector<std::string>{"run ", "report ok"}));
}

TEST(Entry, HeadlessDiscoversTheLocationAlsoForDownloadOnly) {
  Calls calls;
  calls.outcome = Failure{"本机用户目录不可用"};
  EXPECT_EQ(run_selected_mode({"p", "--download-only", "--install-dir"}, calls.operations()), 1);
  EXPECT_EQ(calls.log, (std::vector<std::string>{
                           "discover", "run C:\\Users\\u\\AppData\\Local\\Programs\\Quarvel",
                           "report 本机用户目录不可用"}));
}

TEST(Entry, InstallDirFollowedByQuietTakesThatSwitchAsTheLocation) {
  Calls calls;
  EXPECT_EQ(run_selected_mode({"p", "--install-dir", "--quiet"}, calls.operations()), 0);
  EXPECT_EQ(calls.log.front(), "run --quiet");
}

}  // namespace
}  // namespace quarvel
