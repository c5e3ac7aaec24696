#include "windows_ui/worker.h"

#include <mutex>

namespace quarvel {

void start_worker(const WorkerContext& context) {
  {
    const std::lock_guard lock(context.status.mutex);
    if (context.status.running || context.status.finished)
      return;
    context.status.running = true;
    context.status.location_accepted = false;
    context.status.installing = false;
    context.status.text.assign(kConnectingText);
    context.pause_requested.store(false);
  }
  context.start_thread([&context] { worker_main(context); });
}

void worker_main(const WorkerContext& context) {
  const RunOutcome outcome = context.run(context.arguments, context.location_provider);
  context.write_report(context.arguments, outcome);
  const std::lock_guard lock(context.status.mutex);
  context.status.running = false;
  context.status.location_accepted = false;
  context.status.installing = false;
  if (!outcome) {
    context.status.finished = false;
    context.status.text = outcome.message();
    return;
  }
  context.status.finished = true;
  context.status.percent = 100;
  context.status.text.assign(has_switch(context.arguments, "--download-only") ? kDownloadedText
                                                                              : kInstalledText);
}

}  // namespace quarvel
