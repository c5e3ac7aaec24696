#include "runner/report_file.h"

#include "core/json_text.h"
#include "core/replacing_write.h"

namespace quarvel {

std::string report_text(const RunOutcome& outcome) {
  if (outcome)
    return json_pretty(outcome.value());
  return json_pretty({{"error", outcome.message()}, {"status", "failed"}});
}

void write_report(FileSystem& files,
                  RandomSource& random,
                  const ArgumentList& arguments,
                  const RunOutcome& outcome) {
  const auto path = switch_value(arguments, "--report");
  if (!path)
    return;
  (void)write_replacing(files, random, *path, report_text(outcome));
}

}  // namespace quarvel
