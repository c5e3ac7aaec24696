#include "main/entry.h"

#include <gtest/gtest.h>

#include <vector>

namespace quarvel {
namespace {

// Records which operations the entry called, and with what.
struct Calls {
  std::vector<std::string> log;
  RunOutcome outcome = nlohmann::json::object();
  CacheLockState lock_state = CacheLockState::kHeld;

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
        .write_progress = [this](const ArgumentList&,
                                 const std::string& text) { log.push_back("progress " + text); },
        .show_message =
            [this](const std::string& text, MessageIcon icon) {
              log.push_back((icon == MessageIcon::kWarning ? "warning " : "information ") + text);
            },
        .lock_cache_folder =
            [this](const ArgumentList&) {
              log.push_back("lock");
              return CacheFolderLock{lock_state, nullptr};
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
  EXPECT_EQ(calls.log, (std::vector<std::string>{"lock", "window"}));
  Calls preview;  // runs nothing, so it neither makes nor holds the cache folder
  EXPECT_EQ(preview.run({"p", "--preview"}), 0);
  EXPECT_EQ(preview.log, (std::vector<std::string>{"window"}));
}

TEST(Entry, HeadlessUsesTheGivenLocationVerbatimWithoutDiscovery) {
  Calls calls;
  EXPECT_EQ(calls.run({"p", "--install-dir", "", "--quiet"}), 0);
  EXPECT_EQ(calls.log, (std::vector<std::string>{"lock", "run ", "report ok"}));
}

TEST(Entry, HeadlessDiscoversTheLocationAlsoForDownloadOnly) {
  Calls calls;
  calls.outcome = Failure{"本机用户目录不可用"};
  calls.lock_state = CacheLockState::kNotTaken;  // no cache folder: the run says why
  EXPECT_EQ(calls.run({"p", "--download-only", "--install-dir"}), 1);
  EXPECT_EQ(calls.log,
            (std::vector<std::string>{"lock", "discover",
                                      "run C:\\Users\\u\\AppData\\Local\\Programs\\Quarvel",
                                      "report 本机用户目录不可用"}));
}

TEST(Entry, InstallDirFollowedByQuietTakesThatSwitchAsTheLocation) {
  Calls calls;
  EXPECT_EQ(calls.run({"p", "--install-dir", "--quiet"}), 0);
  EXPECT_EQ(calls.log[1], "run --quiet");
}

// A second start: the guard found taken, or the cache folder held by a run
// that spelled it otherwise (or runs in another logon session).
TEST(Entry, ASecondStartWaitsForNobodyHeadlessOrAsAServiceAndTellsThePersonInTheWindow) {
  const std::string message = "information 已有一个 Quarvel 在线安装程序正在运行。";
  for (const auto& [arguments, account, exit_code, log] :
       std::vector<std::tuple<ArgumentList, ProcessAccount, int, std::vector<std::string>>>{
           {{"p", "--quiet"}, ProcessAccount::kUser, 1618, {}},
           {{"p", "--download-only", "--show-ui"}, ProcessAccount::kUser, 0, {message}},
           {{"p", "--show-ui"}, ProcessAccount::kLocalSystem, 1618, {}}}) {
    Calls guard, lock;
    lock.lock_state = CacheLockState::kHeldElsewhere;
    EXPECT_EQ(refuse_second_start(arguments, account, guard.operations()), exit_code);
    EXPECT_EQ(guard.log, log);
    if (account == ProcessAccount::kUser) {  // a service account without folders is refused first
      EXPECT_EQ(lock.run(arguments, account), exit_code);
      EXPECT_EQ(lock.log.back(), log.empty() ? "lock" : log.back());
    }
  }
}

// Under a service account nothing waits for a person: a refusal is reported
// as headless reports it, and a start it allows runs without a window.
TEST(Entry, AServiceAccountIsRefusedBeforeAnythingElseAndNeverShowsAWindow) {
  const std::string refusal(*service_account_refusal(ProcessAccount::kLocalSystem, {"p"}));
  for (const ArgumentList& arguments :
       {ArgumentList{"p", "--quiet", "--cache-dir", "C:\\C"}, ArgumentList{"p"}}) {
    Calls calls;
    EXPECT_EQ(calls.run(arguments, ProcessAccount::kLocalSystem), 1625);
    EXPECT_EQ(calls.log, (std::vector<std::string>{"report " + refusal, "progress " + refusal}));
  }
  Calls allowed;
  EXPECT_EQ(allowed.run({"p", "--show-ui", "--install-dir", "C:\\Q", "--cache-dir", "C:\\C"},
                        ProcessAccount::kNetworkService),
            0);
  EXPECT_EQ(allowed.log, (std::vector<std::string>{"lock", "run C:\\Q", "report ok"}));
}

}  // namespace
}  // namespace quarvel
