#include "runner/report_file.h"

#include "core/json_text.h"

namespace quarvel {

std::string report_text(const RunOutcome& outcome) {
  if (outcome)
    return json_pretty(outcome.value());
  return json_pretty({{"error", outcome.message()}, {"status", "failed"}});
}

void write_report(FileSystem& files, const ArgumentList& arguments, const RunOutcome& outcome) {
  const auto path = switch_value(arguments, "--report");
  if (!path)
    return;
  (void)replace_file_contents(files, *path, report_text(outcome));
}

}  // namespace quarvel
