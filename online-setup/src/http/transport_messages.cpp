// Message texts that embed a number. Pure; any thread.
#include "http/transport_messages.h"

namespace quarvel {

std::string network_error_message(uint32_t code) {
  return "网络连接中断（" + std::to_string(code) + "）；请重试继续下载";
}

std::string manifest_status_message(uint32_t status) {
  return "获取版本失败（HTTP " + std::to_string(status) + "）";
}

}  // namespace quarvel
