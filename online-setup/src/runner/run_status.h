// The run's status record and stop signal, process-wide in both modes.
// SharedStatus is written by the run (worker or entry thread) and read by the
// window thread, always under its mutex; where it and the window state are
// both held, SharedStatus is taken first. pause_requested is a lone atomic flag.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "core/arguments.h"
#include "core/file_system.h"
#include "core/random_source.h"
#include "release/manifest_choice.h"

namespace quarvel {

struct SharedStatus {
  std::mutex mutex;
  std::string text;      // the status line: last progress text or failure message
  uint32_t percent = 0;  // 0 to 100; readers clamp anything above
  bool running = false;
  // The window's install location is settled: from the end of the countdown
  // until the run ends, the location box and the browse button stay closed,
  // while a pause or a close is still honoured until the setup starts.
  bool location_accepted = false;
  bool installing = false;  // the setup is about to start or runs
  bool finished = false;    // once true, true for the life of the process
};

// The process's record, constant-initialised before the entry runs.
SharedStatus& shared_status();

// Set by the window thread, cleared only when a new worker run begins.
std::atomic<bool>& pause_requested();

// How much of the package a download with a chunk map has brought in from
// each source so far.
struct PackageSources {
  uint64_t base_bytes = 0;     // copied from a cached package of another build
  uint64_t network_bytes = 0;  // received over the network
  bool operator==(const PackageSources&) const = default;
};

// Where progress texts go: the download engine and the run call set_status.
class StatusReporter {
 public:
  virtual ~StatusReporter() = default;
  // Replaces the status text and percent. Cannot fail.
  virtual void set_status(std::string_view text, uint32_t percent) = 0;
  // Names the signed manifest the run went on with, for every later status
  // (nullopt: none). Builds without manifest keys never name one. Cannot fail.
  virtual void note_manifest(const std::optional<ManifestUse>& manifest) { (void)manifest; }
  // Names the download's sources for every later status (nullopt: none, as
  // for a download without a chunk map). Cannot fail.
  virtual void note_sources(const std::optional<PackageSources>& sources) { (void)sources; }
};

// set_status of the process: updates SharedStatus and, while still holding its
// lock, mirrors text and percent to the progress file beside --report.
class SharedStatusReporter final : public StatusReporter {
 public:
  SharedStatusReporter(SharedStatus& status,
                       FileSystem& files,
                       RandomSource& random,
                       const ArgumentList& arguments)
      : status_(status), files_(files), random_(random), arguments_(arguments) {}
  void set_status(std::string_view text, uint32_t percent) override;
  // Named in the progress file from the next status on.
  void note_manifest(const std::optional<ManifestUse>& manifest) override;
  // Named in the progress file from the next status on.
  void note_sources(const std::optional<PackageSources>& sources) override;

 private:
  SharedStatus& status_;
  FileSystem& files_;
  RandomSource& random_;
  const ArgumentList& arguments_;
  std::optional<ManifestUse> manifest_;    // under status_.mutex
  std::optional<PackageSources> sources_;  // under status_.mutex
};

// {"serial":N,"source":"fetched"|"kept"}: the "manifest" member of the
// progress file and the success report; for a kept manifest used past its
// expiry also "expired" (its expiry) and "offlineGraceDays" (the policy's
// days). Cannot fail.
nlohmann::json manifest_use_json(const ManifestUse& manifest);

// The report path with its final component's extension replaced by
// "progress.json" (a dot and "progress.json" appended when it has none; a
// leading dot does not start an extension).
std::string progress_file_path(std::string_view report_path);

// Replaces the progress file beside the --report path with
// {"percent":P,"text":"T"}, a "manifest" member when one is named, and
// "baseBytes" and "networkBytes" when the sources are, as
// write_report replaces the report: a reader never finds it half-written.
// Does nothing without a --report value. Write failures are ignored.
void write_progress_file(FileSystem& files,
                         RandomSource& random,
                         const ArgumentList& arguments,
                         std::string_view text,
                         uint32_t percent,
                         const std::optional<ManifestUse>& manifest = std::nullopt,
                         const std::optional<PackageSources>& sources = std::nullopt);

}  // namespace quarvel
