// The download engine's user-visible texts, network-log lines and progress
// figures. Pure functions, any thread.
//
// Megabyte figures (done, total, speed) are multiples of 1,048,576 bytes shown
// with one digit after the point, rounded down to the tenth, like the percent:
// 5,767,168 bytes is "5.5", 12,582,912 is "12.0", 1,048,575 is "0.9". A figure
// never claims more than has arrived, so "done" equals "total" only at the end.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "http/http_client.h"

namespace quarvel {

inline constexpr std::string_view kPackageFoundText = "已找到校验通过的安装包";
inline constexpr uint32_t kPackageFoundPercent = 92;
inline constexpr std::string_view kVerifyingText = "正在校验安装包…";
inline constexpr uint32_t kVerifyingPercent = 90;
inline constexpr std::string_view kDownloadPausedText = "下载已暂停，可继续下载";
inline constexpr std::string_view kSegmentMismatchText = "下载分段信息不匹配，未继续写入；请重试";
inline constexpr std::string_view kSegmentTooLongText = "下载数据超过预期长度";
inline constexpr std::string_view kSegmentTimeoutText = "分段连接超时";
inline constexpr std::string_view kSegmentInterruptedText = "分段下载中断";
inline constexpr std::string_view kPackageCorruptText = "安装包校验失败，未执行安装；请重试";
// The chunk map: fetching it, and the reasons of failed attempts that check
// what arrived against it.
inline constexpr std::string_view kFetchingChunkMapText = "正在获取分块清单…";
inline constexpr std::string_view kChunkMismatchText = "下载数据校验失败";
inline constexpr std::string_view kChunkMapMismatchText = "分块清单与版本信息不符";

// Bytes in megabytes with one decimal, rounded down: "12.0".
std::string megabytes_text(uint64_t bytes);

// The average speed over a window, (bytes ÷ 1,048,576) ÷ max(elapsed, 1 ms),
// in megabytes per second with one decimal, rounded down: "2.5".
std::string speed_text(uint64_t bytes, std::chrono::nanoseconds elapsed);

// offset × 85 ÷ total, rounded down; 0 when total is 0.
uint32_t download_percent(uint64_t offset, uint64_t total);

// "正在连接 · 已下载 {done} / {total} MB".
std::string connecting_text(uint64_t offset, uint64_t total);

// "正在下载 {done} / {total} MB · {speed} MB/s".
std::string downloading_text(uint64_t offset, uint64_t total, std::string_view speed);

// "正在复用本机已有的安装包 · 已完成 {done} / {total} MB": chunks copied
// from the cached package of another build.
std::string copying_text(uint64_t offset, uint64_t total);

// "连接中断，正在自动重连（{attempt}/{limit}）· 已下载 {done} MB".
std::string reconnecting_text(uint32_t attempt, uint32_t limit, uint64_t offset);

// "连接中断，已保留 {done} MB；点击继续即可续传。{reason}".
std::string gave_up_text(uint64_t offset, std::string_view reason);

// "下载服务暂时不可用（HTTP {status}）".
std::string service_unavailable_text(uint32_t status);

// "分块清单不可用（HTTP {status}）": a chunk map answer that is not the
// exact range asked for (a host without the map answers 404).
std::string chunk_map_refused_text(uint32_t status);

// "无法获取分块清单；请稍后重试。{reason}".
std::string chunk_map_gave_up_text(std::string_view reason);

// "正在检查已下载的部分 {percent}%".
std::string checking_partial_text(uint32_t percent);

// "request={n} range={first}-{last}/{bytes} retry={attempt}", followed by
// " host={host}" when a host is given (builds that list several hosts); a
// request for the chunk map says "map=" for "range=".
std::string request_log_line(uint32_t request,
                             ByteRange range,
                             uint64_t total,
                             uint32_t attempt,
                             std::string_view host = {},
                             std::string_view what = "range");

// "request={n} {what}={first}-{last} mismatch host={host}": a chunk ("chunk")
// or the chunk map ("map") that arrived from the host and does not match.
std::string mismatch_log_line(uint32_t request,
                              std::string_view what,
                              ByteRange chunk,
                              std::string_view host);

// "partial={size} checked={kept}", followed by " chunk={first}-{last}
// mismatch" when a chunk of the partial file did not match: what the check
// of a resumed partial file kept.
std::string partial_check_log_line(uint64_t size, uint64_t kept, std::optional<ByteRange> mismatch);

// "base={name} copy={bytes} fetch={bytes} ranges={count}": an upgrade's
// plan from the package of another build named, from where the partial file
// ends.
std::string base_plan_log_line(std::string_view base_name,
                               uint64_t copy,
                               uint64_t fetch,
                               uint32_t ranges);

// "base chunk={first}-{last} mismatch": a chunk copied from the base did not
// match (it is fetched).
std::string base_mismatch_log_line(ByteRange chunk);

// "base unreadable: {reason}": the base could not be opened or read; nothing
// more is copied from it in this download.
std::string base_unreadable_log_line(std::string_view reason);

// "base copied={bytes} network={bytes}": the package bytes an upgrade's
// download copied from the base and fetched.
std::string base_sources_log_line(uint64_t copied, uint64_t network);

// "request={n} saved={offset} result={result}".
std::string result_log_line(uint32_t request, uint64_t offset, std::string_view result);

}  // namespace quarvel
