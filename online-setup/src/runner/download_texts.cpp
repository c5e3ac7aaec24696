#include "runner/download_texts.h"

#include <algorithm>
#include <charconv>

namespace quarvel {
namespace {

constexpr uint64_t kMegabyte = 1048576;
constexpr std::chrono::nanoseconds kSpeedFloor = std::chrono::milliseconds(1);

// The texts are appended piece by piece: the shipped executable is small.
void append_number(std::string& text, uint64_t value) {
  char digits[20];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  text.append(digits, end);
}

// "W.T" from a count of tenths.
void append_tenths(std::string& text, uint64_t tenths) {
  append_number(text, tenths / 10);
  text.push_back('.');
  append_number(text, tenths % 10);
}

void append_megabytes(std::string& text, uint64_t bytes) {
  append_tenths(text,
                static_cast<uint64_t>(static_cast<unsigned __int128>(bytes) * 10 / kMegabyte));
}

// "{done} / {total}" in megabytes.
void append_done_of_total(std::string& text, uint64_t offset, uint64_t total) {
  append_megabytes(text, offset);
  text.append(" / ");
  append_megabytes(text, total);
}

// "{before}{number}{after}".
std::string number_text(std::string_view before, uint64_t number, std::string_view after) {
  std::string text(before);
  append_number(text, number);
  text.append(after);
  return text;
}

// "{key}={first}-{last}".
void append_range(std::string& line, std::string_view key, ByteRange range) {
  line.append(key).push_back('=');
  append_number(line, range.first);
  line.push_back('-');
  append_number(line, range.last);
}

// "request={n} ".
std::string request_prefix(uint32_t request) {
  return number_text("request=", request, " ");
}

}  // namespace

std::string megabytes_text(uint64_t bytes) {
  std::string text;
  append_megabytes(text, bytes);
  return text;
}

std::string speed_text(uint64_t bytes, std::chrono::nanoseconds elapsed) {
  const auto divisor_ns = static_cast<uint64_t>(std::max(elapsed, kSpeedFloor).count());
  // tenths = bytes × 10 × 10⁹ ÷ (1,048,576 × elapsed in ns), exact in 128 bits.
  const unsigned __int128 tenths = static_cast<unsigned __int128>(bytes) * 10 * 1000000000 /
                                   (static_cast<unsigned __int128>(kMegabyte) * divisor_ns);
  std::string text;
  append_tenths(text, static_cast<uint64_t>(tenths));
  return text;
}

uint32_t download_percent(uint64_t offset, uint64_t total) {
  if (total == 0)
    return 0;
  return static_cast<uint32_t>(static_cast<unsigned __int128>(offset) * 85 / total);
}

std::string connecting_text(uint64_t offset, uint64_t total) {
  std::string text = "正在连接 · 已下载 ";
  append_done_of_total(text, offset, total);
  text.append(" MB");
  return text;
}

std::string downloading_text(uint64_t offset, uint64_t total, std::string_view speed) {
  std::string text = "正在下载 ";
  append_done_of_total(text, offset, total);
  text.append(" MB · ").append(speed).append(" MB/s");
  return text;
}

std::string copying_text(uint64_t offset, uint64_t total) {
  std::string text = "正在复用本机已有的安装包 · 已完成 ";
  append_done_of_total(text, offset, total);
  text.append(" MB");
  return text;
}

std::string reconnecting_text(uint32_t attempt, uint32_t limit, uint64_t offset) {
  std::string text = number_text("连接中断，正在自动重连（", attempt, "/");
  append_number(text, limit);
  text.append("）· 已下载 ");
  append_megabytes(text, offset);
  text.append(" MB");
  return text;
}

std::string gave_up_text(uint64_t offset, std::string_view reason) {
  std::string text = "连接中断，已保留 ";
  append_megabytes(text, offset);
  text.append(" MB；点击继续即可续传。").append(reason);
  return text;
}

std::string service_unavailable_text(uint32_t status) {
  return number_text("下载服务暂时不可用（HTTP ", status, "）");
}

std::string chunk_map_refused_text(uint32_t status) {
  return number_text("分块清单不可用（HTTP ", status, "）");
}

std::string chunk_map_gave_up_text(std::string_view reason) {
  return "无法获取分块清单；请稍后重试。" + std::string(reason);
}

std::string checking_partial_text(uint32_t percent) {
  return number_text("正在检查已下载的部分 ", percent, "%");
}

std::string request_log_line(uint32_t request,
                             ByteRange range,
                             uint64_t total,
                             uint32_t attempt,
                             std::string_view host,
                             std::string_view what) {
  std::string line = request_prefix(request);
  append_range(line, what, range);
  line.push_back('/');
  append_number(line, total);
  line.append(" retry=");
  append_number(line, attempt);
  if (!host.empty())
    line.append(" host=").append(host);
  return line;
}

std::string mismatch_log_line(uint32_t request,
                              std::string_view what,
                              ByteRange chunk,
                              std::string_view host) {
  std::string line = request_prefix(request);
  append_range(line, what, chunk);
  line.append(" mismatch").append(" host=").append(host);
  return line;
}

std::string partial_check_log_line(uint64_t size,
                                   uint64_t kept,
                                   std::optional<ByteRange> mismatch) {
  std::string line = number_text("partial=", size, " checked=");
  append_number(line, kept);
  if (mismatch) {
    line.push_back(' ');
    append_range(line, "chunk", *mismatch);
    line.append(" mismatch");
  }
  return line;
}

std::string base_plan_log_line(std::string_view base_name,
                               uint64_t copy,
                               uint64_t fetch,
                               uint32_t ranges) {
  std::string line = "base=";
  line.append(base_name).append(" copy=");
  append_number(line, copy);
  line.append(" fetch=");
  append_number(line, fetch);
  line.append(" ranges=");
  append_number(line, ranges);
  return line;
}

std::string base_mismatch_log_line(ByteRange chunk) {
  std::string line = "base ";
  append_range(line, "chunk", chunk);
  line.append(" mismatch");
  return line;
}

std::string base_unreadable_log_line(std::string_view reason) {
  return std::string("base unreadable: ").append(reason);
}

std::string base_sources_log_line(uint64_t copied, uint64_t network) {
  std::string line = number_text("base copied=", copied, " network=");
  append_number(line, network);
  return line;
}

std::string result_log_line(uint32_t request, uint64_t offset, std::string_view result) {
  std::string line = request_prefix(request);
  line.append("saved=");
  append_number(line, offset);
  line.append(" result=").append(result);
  return line;
}

}  // namespace quarvel
