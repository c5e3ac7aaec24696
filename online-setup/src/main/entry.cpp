#include "main/entry.h"

#include "main/run_mode.h"

namespace quarvel {

int run_selected_mode(const ArgumentList& arguments, const EntryOperations& operations) {
  if (choose_run_mode(arguments) == RunMode::kWindow) {
    operations.window_main();
    return 0;
  }
  // The location is decided here also for --download-only, where it is only reported.
  const std::optional<std::string> given = switch_value(arguments, "--install-dir");
  const std::string location = given ? *given : operations.discover_install_location();
  const RunOutcome outcome = operations.run_headless(location, arguments);
  operations.write_report(arguments, outcome);
  return headless_exit_code(outcome.ok());
}

}  // namespace quarvel
