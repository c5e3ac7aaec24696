// The worker context of the process: run_for_window over the real run
// environment, the report file, the countdown over the process's records and
// a detached std::thread. Built once on the window thread, then read-only.
#include <thread>

#include "core/file_system.h"
#include "core/process_arguments.h"
#include "core/random_source.h"
#include "runner/report_file.h"
#include "windows_ui/install_location_countdown.h"
#include "windows_ui/worker.h"

namespace quarvel {

const WorkerContext& process_worker_context() {
  static const CountdownContext countdown{shared_status(), window_state(), pause_requested(),
                                          system_monotonic_clock()};
  static const WorkerContext context{
      .status = shared_status(),
      .pause_requested = pause_requested(),
      .arguments = process_arguments(),
      .run =
          [](const ArgumentList& arguments, const LocationProvider& location) {
            return run_for_window(process_run_environment(), arguments, location);
          },
      .location_provider =
          [](std::chrono::nanoseconds download_finished, const ArgumentList& arguments) {
            return await_install_location(countdown, download_finished, arguments);
          },
      .write_report =
          [](const ArgumentList& arguments, const RunOutcome& outcome) {
            write_report(system_file_system(), system_random_source(), arguments, outcome);
          },
      .start_thread = [](std::function<void()> body) { std::thread(std::move(body)).detach(); },
  };
  return context;
}

}  // namespace quarvel
