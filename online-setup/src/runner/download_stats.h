// DownloadStats: what the last download did, for the success report. The
// download engine stores fields on the install run's thread; the run reads a
// snapshot. The mutex is held only for the field stores and the copy, never
// with another lock and never across I/O.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>

namespace quarvel {

// A copy of the fields taken under the lock.
struct DownloadStatsSnapshot {
  uint64_t resumed_bytes = 0;      // package bytes already cached when the download began
  uint64_t transferred_bytes = 0;  // bytes written by the download, as of its last attempt
  uint32_t http_status = 0;        // last accepted segment status; 0 when none was accepted
  // Of the transferred bytes, those copied from a cached package of another
  // build (the rest came over the network): counted by a download with a
  // chunk map, nullopt for one without (and for no download).
  std::optional<uint64_t> base_bytes;

  bool operator==(const DownloadStatsSnapshot&) const = default;
};

class DownloadStats {
 public:
  // Starts a download's record: (resumed_bytes, 0, 0), no base bytes. Cannot fail.
  void reset(uint64_t resumed_bytes);
  // Records an accepted segment response. Cannot fail.
  void set_http_status(uint32_t status);
  // Records the bytes written so far by this download. Cannot fail.
  void set_transferred_bytes(uint64_t bytes);
  // Records how many of them were copied from the base. Cannot fail.
  void set_base_bytes(uint64_t bytes);
  // All three fields, read together. Cannot fail.
  DownloadStatsSnapshot snapshot() const;

 private:
  mutable std::mutex mutex_;
  DownloadStatsSnapshot fields_;
};

// The process's record, all zero at program start.
DownloadStats& download_stats();

}  // namespace quarvel
