#include "runner/download_texts.h"

#include <algorithm>

namespace quarvel {
namespace {

constexpr uint64_t kMegabyte = 1048576;
constexpr std::chrono::nanoseconds kSpeedFloor = std::chrono::milliseconds(1);

// "W.T" from a count of tenths.
std::string tenths_text(uint64_t tenths) {
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

// "{first}-{last}".
std::string range_text(ByteRange range) {
  return std::to_string(range.first) + "-" + std::to_string(range.last);
}

}  // namespace

std::string megabytes_text(uint64_t bytes) {
  return tenths_text(static_cast<uint64_t>(static_cast<unsigned __int128>(bytes) * 10 / kMegabyte));
}

std::string speed_text(uint64_t bytes, std::chrono::nanoseconds elapsed) {
  const auto divisor_ns = static_cast<uint64_t>(std::max(elapsed, kSpeedFloor).count());
  // tenths = bytes × 10 × 10⁹ ÷ (1,048,576 × elapsed in ns), exact in 128 bits.
  const unsigned __int128 tenths = static_cast<unsigned __int128>(bytes) * 10 * 1000000000 /
                                   (static_cast<unsigned __int128>(kMegabyte) * divisor_ns);
  return tenths_text(static_cast<uint64_t>(tenths));
}

uint32_t download_percent(uint64_t offset, uint64_t total) {
  if (total == 0)
    return 0;
  return static_cast<uint32_t>(static_cast<unsigned __int128>(offset) * 85 / total);
}

std::string connecting_text(uint64_t offset, uint64_t total) {
  return "正在连接 · 已下载 " + megabytes_text(offset) + " / " + megabytes_text(total) + " MB";
}

std::string downloading_text(uint64_t offset, uint64_t total, std::string_view speed) {
  return "正在下载 " + megabytes_text(offset) + " / " + megabytes_text(total) + " MB · " +
         std::string(speed) + " MB/s";
}

std::string reconnecting_text(uint32_t attempt, uint32_t limit, uint64_t offset) {
  return "连接中断，正在自动重连（" + std::to_string(attempt) + "/" + std::to_string(limit) +
         "）· 已下载 " + megabytes_text(offset) + " MB";
}

std::string gave_up_text(uint64_t offset, std::string_view reason) {
  return "连接中断，已保留 " + megabytes_text(offset) + " MB；点击继续即可续传。" +
         std::string(reason);
}

std::string service_unavailable_text(uint32_t status) {
  return "下载服务暂时不可用（HTTP " + std::to_string(status) + "）";
}

std::string chunk_map_refused_text(uint32_t status) {
  return "分块清单不可用（HTTP " + std::to_string(status) + "）";
}

std::string chunk_map_gave_up_text(std::string_view reason) {
  return "无法获取安装包的分块清单，安装包未下载；请稍后重试。" + std::string(reason);
}

std::string checking_partial_text(uint32_t percent) {
  return "正在检查已下载的部分 " + std::to_string(percent) + "%";
}

std::string request_log_line(uint32_t request,
                             ByteRange range,
                             uint64_t total,
                             uint32_t attempt,
                             std::string_view host,
                             std::string_view what) {
  std::string line = "request=" + std::to_string(request) + " " + std::string(what) + "=" +
                     range_text(range) + "/" + std::to_string(total) +
                     " retry=" + std::to_string(attempt);
  if (!host.empty())
    line.append(" host=").append(host);
  return line;
}

std::string mismatch_log_line(uint32_t request,
                              std::string_view what,
                              ByteRange chunk,
                              std::string_view host) {
  return "request=" + std::to_string(request) + " " + std::string(what) + "=" + range_text(chunk) +
         " mismatch host=" + std::string(host);
}

std::string partial_check_log_line(uint64_t size,
                                   uint64_t kept,
                                   std::optional<ByteRange> mismatch) {
  std::string line = "partial=" + std::to_string(size) + " checked=" + std::to_string(kept);
  if (mismatch)
    line.append(" chunk=").append(range_text(*mismatch)).append(" mismatch");
  return line;
}

std::string result_log_line(uint32_t request, uint64_t offset, std::string_view result) {
  return "request=" + std::to_string(request) + " saved=" + std::to_string(offset) +
         " result=" + std::string(result);
}

}  // namespace quarvel
