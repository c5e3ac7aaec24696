// The report file of --report: written once when a run has ended (entry
// thread headless, worker thread in window mode). No lock is taken.
#pragma once

#include "core/arguments.h"
#include "core/file_system.h"
#include "core/random_source.h"
#include "runner/run_outcome.h"

namespace quarvel {

// The report text: the success report, or {"error": message, "status":
// "failed"}, in the pretty form.
std::string report_text(const RunOutcome& outcome);

// Replaces the file at the --report value with report_text, through a
// temporary file beside it renamed over it (write_replacing), so a caller
// reading it at any moment finds the old report or the new one whole; does
// nothing without a value. Write failures are ignored.
void write_report(FileSystem& files,
                  RandomSource& random,
                  const ArgumentList& arguments,
                  const RunOutcome& outcome);

}  // namespace quarvel
