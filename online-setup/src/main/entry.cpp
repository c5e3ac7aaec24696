#include "main/entry.h"

#include "main/run_mode.h"

namespace quarvel {
namespace {

RunOutcome run_headless(const ArgumentList& arguments, const EntryOperations& operations) {
  // The location is decided here also for --download-only, where it is only reported.
  const std::optional<std::string> given = switch_value(arguments, "--install-dir");
  const std::string location = given ? *given : operations.discover_install_location();
  return operations.run_headless(location, arguments);
}

}  // namespace

int refuse_second_start(const ArgumentList& arguments, const EntryOperations& operations) {
  if (choose_run_mode(arguments) == RunMode::kHeadless)
    return kExitAlreadyRunning;
  operations.show_message("已有一个 Quarvel 在线安装程序正在运行。", MessageIcon::kInformation);
  return kExitSuccess;
}

int run_selected_mode(const ArgumentList& arguments,
                      ProcessAccount account,
                      const EntryOperations& operations) {
  // Before anything else: the window, the registry and the network come after.
  const auto refusal = service_account_refusal(account, arguments);
  if (choose_run_mode(arguments) == RunMode::kWindow) {
    if (refusal) {
      operations.show_message(std::string(*refusal), MessageIcon::kWarning);
    } else {
      operations.window_main();
    }
    return kExitSuccess;
  }
  const RunOutcome outcome =
      refusal ? RunOutcome(Failure{std::string(*refusal)}) : run_headless(arguments, operations);
  operations.write_report(arguments, outcome);
  return refusal ? kExitServiceAccount : headless_exit_code(outcome.ok());
}

}  // namespace quarvel
