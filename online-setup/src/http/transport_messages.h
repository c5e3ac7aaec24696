// The user-visible messages of the HTTPS transport and the manifest fetch.
// Constants and pure functions; any thread.
#pragma once

#include <cstdint>
#include <string>

namespace quarvel {

inline constexpr char kHttpsRequiredMessage[] = "必须使用 HTTPS 下载";
inline constexpr char kInvalidHostMessage[] = "下载主机无效";
inline constexpr char kNoSessionMessage[] = "无法建立网络会话";
inline constexpr char kNoConnectionMessage[] = "无法连接下载服务";
inline constexpr char kNoRequestMessage[] = "无法准备下载";
inline constexpr char kDownloadPausedMessage[] = "下载已暂停，可重试继续下载";
inline constexpr char kInvalidClockMessage[] = "本机时间无效";
inline constexpr char kManifestTooLargeMessage[] = "版本信息过大";

// "网络连接中断（" + code in decimal + "）；请重试继续下载", for the Windows
// error code of a failed network call.
std::string network_error_message(uint32_t code);

// "获取版本失败（HTTP " + status in decimal + "）".
std::string manifest_status_message(uint32_t status);

}  // namespace quarvel
