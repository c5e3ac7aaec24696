// Starting and ending the worker that performs a window-mode install run.
// start_worker runs on the window thread; worker_main is the body of the one
// detached worker thread. Both touch SharedStatus only under its mutex.
#pragma once

#include <atomic>
#include <functional>
#include <string_view>

#include "core/arguments.h"
#include "runner/install_run.h"
#include "runner/run_outcome.h"
#include "runner/run_status.h"

namespace quarvel {

inline constexpr std::string_view kConnectingText = "正在连接下载服务…";
inline constexpr std::string_view kDownloadedText = "安装包下载完成";
inline constexpr std::string_view kInstalledText = "安装完成，正在打开 Quarvel";

// What a worker talks to. The process binds run_for_window, write_report, the
// countdown and a detached std::thread; tests pass recorders.
struct WorkerContext {
  SharedStatus& status;
  std::atomic<bool>& pause_requested;
  const ArgumentList& arguments;
  // One whole install run that asks `location` for the install location.
  std::function<RunOutcome(const ArgumentList&, const LocationProvider& location)> run;
  LocationProvider location_provider;
  std::function<void(const ArgumentList&, const RunOutcome&)> write_report;
  // Runs the body on a new thread that is detached at once and never joined.
  std::function<void(std::function<void()> body)> start_thread;
};

// Starts a new run unless one is running or the last one succeeded: marks the
// status running with "正在连接下载服务…" (percent unchanged), clears the stop
// request and starts worker_main on a new thread. Never fails.
void start_worker(const WorkerContext& context);

// The worker's body: one run, its report, then the final status (the failure
// message, or 100 % with the completion text and finished set).
void worker_main(const WorkerContext& context);

// The process's worker context (Windows only): the real run environment,
// the process's argument list and records, the window's countdown.
const WorkerContext& process_worker_context();

}  // namespace quarvel
