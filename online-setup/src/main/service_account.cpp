#include "main/service_account.h"

#include "core/paths.h"

namespace quarvel {
namespace {

// Only an absolute path names a folder the administrator chose: an empty
// value (typically an unset variable in a deployment script) names none, and
// a relative one lands wherever the deployment tool's working folder is
// (System32, say).
bool folder_given(const ArgumentList& arguments, std::string_view name) {
  const std::optional<std::string> value = switch_value(arguments, name);
  return value && is_absolute_windows_path(*value);
}

}  // namespace

std::optional<std::string_view> service_account_refusal(ProcessAccount account,
                                                        const ArgumentList& arguments) {
  if (account == ProcessAccount::kUser)
    return std::nullopt;
  const bool download_only = has_switch(arguments, "--download-only");
  if (folder_given(arguments, "--cache-dir") &&
      (download_only || folder_given(arguments, "--install-dir"))) {
    return std::nullopt;
  }
  if (download_only) {
    return "Quarvel 按用户安装，不会把安装包下载到系统服务帐户（LocalSystem、LocalService、"
           "NetworkService）的用户目录。请以登录用户的身份运行，或用 --cache-dir 指定缓存文件夹。";
  }
  return "Quarvel 按用户安装，不会安装到系统服务帐户（LocalSystem、LocalService、NetworkService）"
         "的用户目录。请以登录用户的身份运行，或同时用 --install-dir 和 --cache-dir 指定文件夹。";
}

}  // namespace quarvel
