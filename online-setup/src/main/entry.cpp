#include "main/entry.h"

#include "main/run_mode.h"

namespace quarvel {
namespace {

// A service account runs without a window whatever the switches say.
RunMode mode_for(const ArgumentList& arguments, ProcessAccount account) {
  return account == ProcessAccount::kUser ? choose_run_mode(arguments) : RunMode::kHeadless;
}

// A preview window never starts a run: it neither makes nor holds the cache folder.
bool may_run(const ArgumentList& arguments, RunMode mode) {
  return mode == RunMode::kHeadless || !has_switch(arguments, "--preview");
}

RunOutcome run_headless(const ArgumentList& arguments, const EntryOperations& operations) {
  // The location is decided here also for --download-only, where it is only reported.
  const std::optional<std::string> given = switch_value(arguments, "--install-dir");
  const std::string location = given ? *given : operations.discover_install_location();
  return operations.run_headless(location, arguments);
}

}  // namespace

int refuse_second_start(const ArgumentList& arguments,
                        ProcessAccount account,
                        const EntryOperations& operations) {
  if (mode_for(arguments, account) == RunMode::kHeadless)
    return kExitAlreadyRunning;
  operations.show_message("已有一个 Quarvel 在线安装程序正在运行。", MessageIcon::kInformation);
  return kExitSuccess;
}

int run_selected_mode(const ArgumentList& arguments,
                      ProcessAccount account,
                      const EntryOperations& operations) {
  // Before anything else: the window, the registry and the network come after.
  if (const auto refusal = service_account_refusal(account, arguments)) {
    const std::string message(*refusal);
    operations.write_report(arguments, Failure{message});
    // An earlier run's progress file beside it would tell another story.
    operations.write_progress(arguments, message);
    return kExitServiceAccount;
  }
  const RunMode mode = mode_for(arguments, account);
  // Held until the process ends, whatever the mode does.
  const CacheFolderLock lock =
      may_run(arguments, mode) ? operations.lock_cache_folder(arguments) : CacheFolderLock{};
  if (lock.state == CacheLockState::kHeldElsewhere)
    return refuse_second_start(arguments, account, operations);
  if (mode == RunMode::kWindow) {
    operations.window_main();
    return kExitSuccess;
  }
  const RunOutcome outcome = run_headless(arguments, operations);
  operations.write_report(arguments, outcome);
  return headless_exit_code(outcome.ok());
}

}  // namespace quarvel
