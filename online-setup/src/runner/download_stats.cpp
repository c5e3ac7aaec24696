#include "runner/download_stats.h"

namespace quarvel {
namespace {

// A namespace-scope object: MinGW's mutex cannot be constant-initialised.
DownloadStats g_download_stats;

}  // namespace

void DownloadStats::reset(uint64_t resumed_bytes) {
  const std::lock_guard lock(mutex_);
  fields_ = DownloadStatsSnapshot{resumed_bytes, 0, 0, std::nullopt};
}

void DownloadStats::set_base_bytes(uint64_t bytes) {
  const std::lock_guard lock(mutex_);
  fields_.base_bytes = bytes;
}

void DownloadStats::set_http_status(uint32_t status) {
  const std::lock_guard lock(mutex_);
  fields_.http_status = status;
}

void DownloadStats::set_transferred_bytes(uint64_t bytes) {
  const std::lock_guard lock(mutex_);
  fields_.transferred_bytes = bytes;
}

DownloadStatsSnapshot DownloadStats::snapshot() const {
  const std::lock_guard lock(mutex_);
  return fields_;
}

DownloadStats& download_stats() {
  return g_download_stats;
}

}  // namespace quarvel
