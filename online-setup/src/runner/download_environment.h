// Everything the download engine talks to, handed in by the install run so
// that tests can pass fakes. The references outlive the download call; the
// call uses them on the install run's thread only (pause_requested is set by
// the window thread and only read here).
#pragma once

#include <atomic>
#include <cstdint>

#include "core/clock.h"
#include "core/file_system.h"
#include "core/random_source.h"
#include "http/allowed_hosts.h"
#include "http/http_client.h"
#include "runner/download_stats.h"
#include "runner/run_status.h"

namespace quarvel {

struct DownloadEnvironment {
  HttpClient& http;
  FileSystem& files;
  MonotonicClock& clock;
  WallClock& wall_clock;  // for a Retry-After date without a Date header
  RandomSource& random;   // spreads the waits between attempts
  StatusReporter& status;
  const std::atomic<bool>& pause_requested;
  DownloadStats& stats;
  // The listed hosts: the package hosts a failed attempt moves on to, and
  // whether the network log names each request's host (when either list has
  // several). nullptr: the manifest address's host alone, not named.
  const AllowedHosts* hosts = nullptr;
  // The bytes per second the download keeps under (an administrator's
  // policy); 0: no cap.
  uint64_t rate_cap = 0;
};

}  // namespace quarvel
