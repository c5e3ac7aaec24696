#include "windows_ui/install_location_countdown.h"

#include <algorithm>

#include "windows_ui/install_dir_rules.h"

namespace quarvel {
namespace {

constexpr int64_t kCountdownSeconds = 5;
constexpr uint32_t kCountdownPercent = 94;
constexpr std::chrono::milliseconds kPollInterval{100};
constexpr std::string_view kEditingText = "请完成安装位置的修改，离开输入框后自动安装。";

// Whole seconds from `since` to `now`, truncated; never negative.
int64_t whole_seconds(std::chrono::nanoseconds since, std::chrono::nanoseconds now) {
  return std::max<int64_t>(0,
                           std::chrono::duration_cast<std::chrono::seconds>(now - since).count());
}

std::string countdown_text(int64_t remaining) {
  return "下载完成，" + std::to_string(remaining) + " 秒后自动安装；仍可修改安装位置。";
}

}  // namespace

Result<std::string> await_install_location(const CountdownContext& context,
                                           std::chrono::nanoseconds download_finished,
                                           const ArgumentList& arguments) {
  const bool download_only = has_switch(arguments, "--download-only");
  for (;;) {
    if (context.pause_requested.load())
      return Failure{std::string(kCountdownPausedMessage)};
    {
      const std::lock_guard status_lock(context.status.mutex);
      const std::lock_guard window_lock(context.window.mutex);
      if (download_only)
        return context.window.install_dir;
      const std::chrono::nanoseconds now = context.clock.now();
      const int64_t elapsed = std::min(whole_seconds(download_finished, now),
                                       whole_seconds(context.window.last_edit, now));
      const bool editing = context.window.editing ||
                           context.window.focus_when_deactivated == FocusStop::kLocationBox;
      if (editing || elapsed < kCountdownSeconds) {
        context.status.text =
            editing ? std::string(kEditingText)
                    : countdown_text(std::max<int64_t>(0, kCountdownSeconds - elapsed));
        context.status.percent = kCountdownPercent;
      } else if (is_complete_install_dir(context.window.install_dir)) {
        context.status.location_accepted = true;
        return context.window.install_dir;
      } else {
        return Failure{std::string(kIncompleteInstallDirMessage)};
      }
    }
    context.clock.sleep_for(kPollInterval);
  }
}

}  // namespace quarvel
