#include "runner/success_report.h"

#include "runner/download_stats.h"

namespace quarvel {

nlohmann::json build_success_report(const ReleaseManifest& manifest,
                                    const std::string& package_path,
                                    const std::string& install_location,
                                    const ArgumentList& arguments,
                                    DownloadStats& stats) {
  const DownloadStatsSnapshot download = stats.snapshot();
  nlohmann::json report = {
      {"build", manifest.build},
      {"bytes", manifest.bytes},
      {"downloadOnly", has_switch(arguments, "--download-only")},
      {"httpStatus", download.http_status},
      {"installDir", install_location},
      {"package", package_path},
      {"resumedBytes", download.resumed_bytes},
      {"sha256", manifest.sha256},
      {"status", "complete"},
      {"transferredBytes", download.transferred_bytes},
  };
  if (download.base_bytes) {
    report["baseBytes"] = *download.base_bytes;
    report["networkBytes"] = download.transferred_bytes - *download.base_bytes;
  }
  return report;
}

}  // namespace quarvel
