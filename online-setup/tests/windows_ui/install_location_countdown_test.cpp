#include "windows_ui/install_location_countdown.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "support/fake_clock.h"

namespace quarvel {
namespace {

using namespace std::chrono_literals;
using testing_support::FakeClock;

const std::string kEditing = "请完成安装位置的修改，离开输入框后自动安装。";

std::string seconds_left(int n) {
  return "下载完成，" + std::to_string(n) + " 秒后自动安装；仍可修改安装位置。";
}

// A countdown over private records. The download finished at 100 s; the
// window was created, and last edited, long before.
struct Countdown : testing::Test {
  SharedStatus status;
  WindowState window;
  std::atomic<bool> pause{false};
  FakeClock clock{100s};
  std::vector<std::string> shown;  // the status text after each pass, repeats collapsed
  const ArgumentList arguments{"QuarvelOnlineSetup.exe"};

  Countdown() {
    window.install_dir = "D:\\Quarvel";
    window.last_edit = 1s;
    status.text = "正在校验安装包…";
    status.percent = 90;
    status.running = true;
  }

  // Runs the countdown; `act` is called after each 100 ms sleep with the
  // time since the download finished.
  Result<std::string> run(std::function<void(std::chrono::nanoseconds)> act = {}) {
    clock.after_sleep = [this, act](std::chrono::nanoseconds now) {
      {
        const std::lock_guard lock(status.mutex);
        if (shown.empty() || shown.back() != status.text)
          shown.push_back(status.text);
      }
      if (act)
        act(now - 100s);
    };
    return await_install_location({status, window, pause, clock}, 100s, arguments);
  }

  void edit_now(std::chrono::nanoseconds since_download) {
    const std::lock_guard lock(window.mutex);
    window.last_edit = 100s + since_download;
  }
};

TEST_F(Countdown, CountsFiveToOneThenAcceptsTheLocation) {
  const Result<std::string> location = run();
  ASSERT_TRUE(location.ok()) << location.message();
  EXPECT_EQ(*location, "D:\\Quarvel");
  EXPECT_EQ(shown, (std::vector<std::string>{seconds_left(5), seconds_left(4), seconds_left(3),
                                             seconds_left(2), seconds_left(1)}));
  EXPECT_EQ(clock.now(), 105s) << "accepted in the first pass with five whole seconds";
  EXPECT_TRUE(status.location_accepted);
  EXPECT_FALSE(status.installing) << "a pause is still honoured during the checks";
  EXPECT_EQ(status.text, seconds_left(1)) << "the last countdown text stays up";
  EXPECT_EQ(status.percent, 94u);
  EXPECT_TRUE(status.running);
}

TEST_F(Countdown, EveryEditRestartsItFromFive) {
  const Result<std::string> location = run([this](std::chrono::nanoseconds t) {
    if (t == 2500ms)
      edit_now(t);
  });
  ASSERT_TRUE(location.ok());
  EXPECT_EQ(shown, (std::vector<std::string>{seconds_left(5), seconds_left(4), seconds_left(3),
                                             seconds_left(5), seconds_left(4), seconds_left(3),
                                             seconds_left(2), seconds_left(1)}));
  EXPECT_EQ(clock.now(), 107500ms);
}

TEST_F(Countdown, AnEditShortlyBeforeTheDownloadEndedDoesNotShortenIt) {
  window.last_edit = 98s;
  ASSERT_TRUE(run().ok());
  EXPECT_EQ(clock.now(), 105s) << "the smaller of the two elapsed times decides";
}

// The box has the focus (or the folder dialog is open), or the window is
// inactive with the box as its remembered focus.
TEST_F(Countdown, EditingHoldsItWithTheEditingMessageAndLeavingRestartsIt) {
  const std::function<void(WindowState&, bool)> ways_of_editing[] = {
      [](WindowState& w, bool on) { w.editing = on; },
      [](WindowState& w, bool on) {
        w.focus_when_deactivated = on ? std::optional(FocusStop::kLocationBox) : std::nullopt;
      }};
  for (const auto& set_editing : ways_of_editing) {
    shown.clear();
    clock = FakeClock(100s);
    window.last_edit = 1s;
    const Result<std::string> location = run([&](std::chrono::nanoseconds t) {
      const std::lock_guard lock(window.mutex);
      if (t == 1500ms)
        set_editing(window, true);
      if (t == 60s) {  // focus leaves the box: itself a notification
        set_editing(window, false);
        window.last_edit = 100s + t;
      }
    });
    ASSERT_TRUE(location.ok());
    EXPECT_EQ(shown, (std::vector<std::string>{seconds_left(5), seconds_left(4), kEditing,
                                               seconds_left(5), seconds_left(4), seconds_left(3),
                                               seconds_left(2), seconds_left(1)}));
    EXPECT_EQ(clock.now(), 165s);
    EXPECT_TRUE(status.location_accepted);
  }
}

TEST_F(Countdown, AStopRequestEndsItWithThePauseMessage) {
  const Result<std::string> location = run([this](std::chrono::nanoseconds t) {
    if (t == 3s)
      pause = true;
  });
  ASSERT_FALSE(location.ok());
  EXPECT_EQ(location.message(), "下载已暂停，可继续安装。");
  EXPECT_FALSE(status.installing);
  EXPECT_EQ(clock.sleeps.size(), 30u) << "seen at the next poll";
  EXPECT_FALSE(status.location_accepted);
}

TEST_F(Countdown, AStopRequestBeforeTheFirstPassLeavesTheStatusAlone) {
  pause = true;
  const Result<std::string> location = run();
  ASSERT_FALSE(location.ok());
  EXPECT_EQ(location.message(), "下载已暂停，可继续安装。");
  EXPECT_EQ(status.text, "正在校验安装包…");
  EXPECT_EQ(status.percent, 90u);
}

TEST_F(Countdown, AnIncompleteLocationIsRejectedAfterTheCountdown) {
  for (const char* path : {"D:\\", "Quarvel", "", "D:Quarvel", "\\Quarvel", "D:\\Quarvel\\.."}) {
    window.install_dir = path;
    shown.clear();
    clock = FakeClock(100s);
    const Result<std::string> location = run();
    ASSERT_FALSE(location.ok()) << path;
    EXPECT_EQ(location.message(), "请选择完整的安装目录，例如 D:\\Quarvel");
    EXPECT_FALSE(status.location_accepted);
    EXPECT_EQ(status.text, seconds_left(1)) << "text and percent are left as they are";
    EXPECT_EQ(status.percent, 94u);
  }
}

TEST_F(Countdown, DownloadOnlyReturnsTheBoxTextAtOnceWithoutCountdownOrInstalling) {
  window.install_dir = "relative";
  const Result<std::string> location = await_install_location(
      {status, window, pause, clock}, 100s, {"QuarvelOnlineSetup.exe", "--download-only"});
  ASSERT_TRUE(location.ok());
  EXPECT_EQ(*location, "relative");
  EXPECT_EQ(clock.sleeps.size(), 0u);
  EXPECT_FALSE(status.location_accepted);
  EXPECT_EQ(status.text, "正在校验安装包…");
}

}  // namespace
}  // namespace quarvel
