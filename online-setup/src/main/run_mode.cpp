#include "main/run_mode.h"

namespace quarvel {

RunMode choose_run_mode(const ArgumentList& arguments) {
  if (has_switch(arguments, "--show-ui"))
    return RunMode::kWindow;
  if (has_switch(arguments, "--download-only") || has_switch(arguments, "--quiet")) {
    return RunMode::kHeadless;
  }
  return RunMode::kWindow;
}

int headless_exit_code(bool run_succeeded) {
  return run_succeeded ? kExitSuccess : kExitRunFailed;
}

}  // namespace quarvel
