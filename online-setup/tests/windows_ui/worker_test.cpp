#include "windows_ui/worker.h"

#include <gtest/gtest.h>

#include <vector>

namespace quarvel {
namespace {

// A worker context whose run, report and thread start are recorders: the
// thread body is kept and run by the test when it chooses.
struct Worker : testing::Test {
  SharedStatus status;
  std::atomic<bool> pause{true};
  ArgumentList arguments{"QuarvelOnlineSetup.exe", "--report", "r.json"};
  RunOutcome outcome = nlohmann::json{{"status", "installed"}};
  std::vector<std::function<void()>> threads;
  std::vector<std::string> log;
  WorkerContext context{
      .status = status,
      .pause_requested = pause,
      .arguments = arguments,
      .run =
          [this](const ArgumentList& given, const LocationProvider& location) {
            log.push_back("run " + given.at(1));
            const Result<std::string> where = location(std::chrono::seconds(7), given);
            log.push_back("location " + (where ? *where : where.message()));
            return outcome;
          },
      .location_provider = [](std::chrono::nanoseconds finished,
                              const ArgumentList&) -> Result<std::string> {
        return "D:\\Quarvel after " + std::to_string(finished.count());
      },
      .write_report =
          [this](const ArgumentList& given, const RunOutcome& reported) {
            const std::lock_guard lock(status.mutex);
            log.push_back(std::string("report ") + (reported ? "ok" : reported.message()) +
                          (status.running ? " while running" : " after the end") + " " +
                          given.at(2));
          },
      .start_thread = [this](std::function<void()> body) { threads.push_back(std::move(body)); },
  };
};

TEST_F(Worker, StartMarksTheStatusRunningClearsTheStopRequestAndStartsOneThread) {
  status.text = "old failure";
  status.percent = 42;
  status.installing = status.location_accepted = true;
  start_worker(context);
  EXPECT_TRUE(status.running);
  EXPECT_FALSE(status.installing || status.location_accepted);
  EXPECT_EQ(status.text, "正在连接下载服务…");
  EXPECT_EQ(status.percent, 42u) << "the percent keeps its value until the run reports";
  EXPECT_FALSE(pause.load());
  ASSERT_EQ(threads.size(), 1u);
  EXPECT_TRUE(log.empty()) << "the run happens on the new thread";
  threads[0]();
  EXPECT_EQ(log, (std::vector<std::string>{"run --report", "location D:\\Quarvel after 7000000000",
                                           "report ok while running r.json"}));
}

TEST_F(Worker, StartDoesNothingWhileRunningOrAfterASuccess) {
  for (const bool finished : {false, true}) {
    status.running = !finished;
    status.finished = finished;
    status.text = "unchanged";
    pause = true;
    start_worker(context);
    EXPECT_TRUE(threads.empty());
    EXPECT_EQ(status.text, "unchanged");
    EXPECT_TRUE(pause.load());
  }
}

TEST_F(Worker, AFailedRunLeavesItsMessageAndPercentAndStopsTheWindowsRunningState) {
  outcome = Failure{"下载已暂停，可继续安装。"};
  status.running = status.location_accepted = true;
  status.percent = 94;
  worker_main(context);
  EXPECT_FALSE(status.running || status.location_accepted || status.finished);
  EXPECT_EQ(status.text, "下载已暂停，可继续安装。");
  EXPECT_EQ(status.percent, 94u);
  EXPECT_EQ(log.back(), "report 下载已暂停，可继续安装。 while running r.json");
}

TEST_F(Worker, ASuccessfulRunEndsAtOneHundredWithTheCompletionText) {
  const struct {
    ArgumentList arguments;
    const char* text;
  } cases[] = {
      {{"QuarvelOnlineSetup.exe", "--report", "r.json"}, "安装完成，正在打开 Quarvel"},
      {{"QuarvelOnlineSetup.exe", "--report", "r.json", "--download-only"}, "安装包下载完成"},
      {{"--download-only", "--report", "r.json"}, "安装包下载完成"},  // element 0 counts
  };
  for (const auto& c : cases) {
    arguments = c.arguments;
    status.running = status.installing = true;
    status.finished = false;
    status.percent = 96;
    worker_main(context);
    EXPECT_FALSE(status.running || status.installing);
    EXPECT_TRUE(status.finished);
    EXPECT_EQ(status.percent, 100u);
    EXPECT_EQ(status.text, c.text);
  }
}

TEST_F(Worker, AfterASuccessNoSecondRunCanStart) {
  start_worker(context);
  threads.at(0)();
  start_worker(context);
  EXPECT_EQ(threads.size(), 1u);
  EXPECT_TRUE(status.finished);
}

TEST_F(Worker, AfterAFailureContinueStartsAWholeNewRun) {
  outcome = Failure{"网络错误"};
  start_worker(context);
  threads.at(0)();
  EXPECT_EQ(status.text, "网络错误");
  start_worker(context);
  ASSERT_EQ(threads.size(), 2u);
  EXPECT_TRUE(status.running);
  EXPECT_EQ(status.text, "正在连接下载服务…");
}

}  // namespace
}  // namespace quarvel
