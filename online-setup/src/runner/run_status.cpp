#include "runner/run_status.h"

#include "core/json_text.h"
#include "core/replacing_write.h"
#include "core/utc_time.h"

namespace quarvel {
namespace {

// Initialised before the entry runs (a namespace-scope object; MinGW's mutex
// cannot be constant-initialised).
SharedStatus g_shared_status;
constinit std::atomic<bool> g_pause_requested{false};

}  // namespace

SharedStatus& shared_status() {
  return g_shared_status;
}

std::atomic<bool>& pause_requested() {
  return g_pause_requested;
}

void SharedStatusReporter::set_status(std::string_view text, uint32_t percent) {
  const std::lock_guard lock(status_.mutex);
  status_.text.assign(text);
  status_.percent = percent;
  write_progress_file(files_, random_, arguments_, status_.text, status_.percent, manifest_,
                      sources_);
}

void SharedStatusReporter::note_sources(const std::optional<PackageSources>& sources) {
  const std::lock_guard lock(status_.mutex);
  sources_ = sources;
}

void SharedStatusReporter::note_manifest(const std::optional<ManifestUse>& manifest) {
  const std::lock_guard lock(status_.mutex);
  manifest_ = manifest;
}

nlohmann::json manifest_use_json(const ManifestUse& manifest) {
  nlohmann::json use = {{"serial", manifest.serial},
                        {"source", manifest_source_name(manifest.source)}};
  if (const std::optional<PastExpiry>& past = manifest.past_expiry) {
    use["expired"] = format_utc_time(past->expired);
    use["offlineGraceDays"] = past->grace_days;
  }
  return use;
}

std::string progress_file_path(std::string_view report_path) {
  const size_t separator = report_path.find_last_of("\\/");
  const size_t name_start = separator == std::string_view::npos ? 0 : separator + 1;
  const size_t dot = report_path.rfind('.');
  std::string path(report_path);
  if (dot != std::string_view::npos && dot > name_start) {
    path.resize(dot + 1);
  } else {
    path.push_back('.');
  }
  return path + "progress.json";
}

void write_progress_file(FileSystem& files,
                         RandomSource& random,
                         const ArgumentList& arguments,
                         std::string_view text,
                         uint32_t percent,
                         const std::optional<ManifestUse>& manifest,
                         const std::optional<PackageSources>& sources) {
  const auto report_path = switch_value(arguments, "--report");
  if (!report_path)
    return;
  nlohmann::json progress = {{"percent", percent}, {"text", std::string(text)}};
  if (manifest)
    progress["manifest"] = manifest_use_json(*manifest);
  if (sources) {
    progress["baseBytes"] = sources->base_bytes;
    progress["networkBytes"] = sources->network_bytes;
  }
  (void)write_replacing(files, random, progress_file_path(*report_path), json_compact(progress), {},
                        Durability::kUnflushed);
}

}  // namespace quarvel
