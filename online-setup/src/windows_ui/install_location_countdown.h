// The hand-over between a finished download and the installation in window
// mode: a five-second countdown during which the user may still change the
// install location, then the check of that location. Runs on the worker
// thread; reads WindowState and pause_requested, writes SharedStatus.
#pragma once

#include <atomic>
#include <chrono>
#include <string>

#include "core/arguments.h"
#include "core/clock.h"
#include "core/result.h"
#include "runner/run_status.h"
#include "windows_ui/window_state.h"

namespace quarvel {

inline constexpr std::string_view kCountdownPausedMessage = "下载已暂停，可继续安装。";

// What the countdown reads and writes; the process passes its own records and
// the system clock, tests a fake clock.
struct CountdownContext {
  SharedStatus& status;
  WindowState& window;
  const std::atomic<bool>& pause_requested;
  MonotonicClock& clock;
};

// The install location once the user has let five whole seconds pass since
// both the download's end and the last edit, without editing (the box has no
// focus, the folder dialog is closed, and the window is not away with the box
// as its remembered focus); location_accepted is then set. With
// "--download-only" the location box's text is returned at once, unchecked. Fails with
// "下载已暂停，可继续安装。" on a stop request and with the incomplete-location message when the
// location is not a complete folder path (text and percent then stay as they were).
Result<std::string> await_install_location(const CountdownContext& context,
                                           std::chrono::nanoseconds download_finished,
                                           const ArgumentList& arguments);

}  // namespace quarvel
