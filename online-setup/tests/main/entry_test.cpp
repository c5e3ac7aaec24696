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
  bool lock_held = false;  // the cache folder's lock has not been let go

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
              log.push_back("run " + location + (lock_held ? " locked" : ""));
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
              lock_held = lock_state == CacheLockState::kHeld;
              return CacheFolderLock{lock_state, std::make_unique<Release>(lock_held)};
            },
    };
  }
  // The held lock: let go when the entry is done with it.
  struct Release final : HeldFile {
    explicit Release(bool& held) : held_(held) {}
    ~Release() override { held_ = false; }
    bool& held_;
  };

  int run(const ArgumentList& arguments, ProcessAccount account = ProcessAccount::kUser) {
    return run_selected_mode(arguments, account, operations());
  }
};

TEST(Entry, WindowModeEndsWithZeroWhateverHappens) {
  Calls calls;
  EXPECT_EQ(calls.run({"p", "--quiet", "--show-ui"}), 0);
  EXPECT_EQ(calls.log, (std::vector<std::string>{"lock", "window"}));
}

TEST(Entry, HeadlessUsesTheGivenLocationVerbatimWithoutDiscovery) {
  Calls calls;
  EXPECT_EQ(calls.run({"p", "--install-dir", "", "--quiet"}), 0);
  EXPECT_EQ(calls.log, (std::vector<std::string>{"lock", "run  locked", "report ok"}));
  EXPECT_FALSE(calls.lock_held) << "let go once the run has ended";
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
  EXPECT_EQ(calls.log[1], "run --quiet locked");
}

// A second start: the guard found taken, or the cache folder held by a run
// that spelled it otherwise (or runs in another logon session).
TEST(Entry, ASecondStartWaitsForNobodyHeadlessOrAsAServiceAndTellsThePersonInTheWindow) {
  const std::string message = "information 已有一个 Quarvel 在线安装程序正在运行。";
  struct Case {
    ArgumentList arguments;
    ProcessAccount account;
    int exit_code;
    std::vector<std::string> log;  // after the guard's refusal, then the lock's
  };
  const Case cases[] = {
      {{"p", "--quiet", "--report", "r"}, ProcessAccount::kUser, 1618, {}},
      {{"p", "--download-only", "--show-ui"}, ProcessAccount::kUser, 0, {message}},
      {{"p", "--show-ui", "--install-dir", "C:\\Q", "--cache-dir", "C:\\C"},
       ProcessAccount::kLocalSystem,
       1618,
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.arguments));
    Calls guard, lock;
    EXPECT_EQ(refuse_second_start(c.arguments, c.account, guard.operations()), c.exit_code);
    EXPECT_EQ(guard.log, c.log);
    lock.lock_state = CacheLockState::kHeldElsewhere;
    EXPECT_EQ(lock.run(c.arguments, c.account), c.exit_code);
    std::vector<std::string> expected{"lock"};
    expected.insert(expected.end(), c.log.begin(), c.log.end());
    EXPECT_EQ(lock.log, expected);
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
  EXPECT_EQ(allowed.log, (std::vector<std::string>{"lock", "run C:\\Q locked", "report ok"}));
}

}  // namespace
}  // namespace quarvel
