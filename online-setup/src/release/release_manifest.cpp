// The release manifest's validation: a strict JSON parse (no byte order mark,
// no trailing text, nesting below 128 levels, valid UTF-8, last duplicate key
// wins) followed by the field rules, checked in a fixed order so that the
// first broken rule decides the message. Pure, any thread, keeps no state.
#include "release/release_manifest.h"

#include <charconv>
#include <optional>

#include "core/strict_json.h"

namespace quarvel {
namespace {

using nlohmann::json;
using strict_json::member;
using strict_json::non_negative_integer;
using strict_json::string_value;

constexpr uint64_t kSmallestPackage = 1'048'577;
constexpr uint64_t kLargestPackage = 4'294'967'295;
constexpr std::string_view kNamePrefix = "Quarvel-";
constexpr std::string_view kBuildMarker = "-b";
constexpr std::string_view kNameSuffix = "-Windows-x64-Setup.exe";
constexpr size_t kMaxDisplayVersion = 16;

constexpr char kParseFailed[] = "版本信息无法解析";
constexpr char kBadSize[] = "安装包大小无效";
constexpr char kNoVersion[] = "缺少版本信息";
constexpr char kBadVersion[] = "版本格式无效";
constexpr char kNoDigest[] = "缺少安装包校验值";
constexpr char kNoAddress[] = "缺少下载地址";
constexpr char kForeignAddress[] = "安装包地址不属于 Quarvel 官方下载源";
constexpr char kBadDisplayVersion[] = "公开版本无效";
constexpr char kNameMismatch[] = "安装包名称与内部构建号不一致";
constexpr char kWrongPackage[] = "安装包平台或产品无效";

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

bool is_hex_digit(char c) {
  return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool is_name_character(char c) {
  return is_digit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' || c == '-' ||
         c == '_';
}

template <class Predicate>
bool all_of(std::string_view text, Predicate predicate) {
  for (const char c : text) {
    if (!predicate(c))
      return false;
  }
  return true;
}

// Three non-empty runs of ASCII digits separated by ".".
bool is_version(std::string_view version) {
  int parts = 0;
  for (;;) {
    const size_t dot = version.find('.');
    const std::string_view part = version.substr(0, dot);
    if (part.empty() || !all_of(part, is_digit) || ++parts > 3)
      return false;
    if (dot == std::string_view::npos)
      return parts == 3;
    version.remove_prefix(dot + 1);
  }
}

std::string lower_case(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// The file name after the address prefix, or nullopt when the address is not
// on a package host's layout. Host names hold no "/", so at most one prefix fits.
std::optional<std::string> file_name_in_address(std::string_view url,
                                                std::span<const std::string> package_hosts,
                                                std::string_view version) {
  for (const std::string& host : package_hosts) {
    const std::string prefix = "https://" + host + package_folder_path(version);
    if (!url.starts_with(prefix))
      continue;
    const std::string_view name = url.substr(prefix.size());
    if (!name.ends_with(kNameSuffix) || !name.starts_with(kNamePrefix) ||
        !all_of(name, is_name_character)) {
      return std::nullopt;
    }
    return std::string(name);
  }
  return std::nullopt;
}

// 1 to 16 bytes, each an ASCII digit or "."; false for a missing text.
bool is_display_version(const std::string* text) {
  return text != nullptr && !text->empty() && text->size() <= kMaxDisplayVersion &&
         all_of(*text, [](char c) { return is_digit(c) || c == '.'; });
}

// True only for a string equal to expected byte for byte.
bool is_exact_string(const json* value, std::string_view expected) {
  const std::string* text = string_value(value);
  return text != nullptr && *text == expected;
}

// schema 1 (read as signed 64-bit), product, platform and channel.
bool is_this_package(const json& document) {
  const json* schema = member(document, "schema");
  return schema != nullptr && schema->is_number_integer() && schema->get<int64_t>() == 1 &&
         is_exact_string(member(document, "product"), "quarvel") &&
         is_exact_string(member(document, "platform"), "windows-x64") &&
         is_exact_string(member(document, "channel"), "cef-offline");
}

// Step 3: bytes. nullptr when it passes, else the message.
const char* read_size(const json& document, ReleaseManifest& manifest) {
  const std::optional<uint64_t> bytes = non_negative_integer(member(document, "bytes"));
  if (!bytes || *bytes < kSmallestPackage || *bytes > kLargestPackage)
    return kBadSize;
  manifest.bytes = *bytes;
  return nullptr;
}

// Steps 4 to 6: version, digest and address. nullptr when all pass.
const char* read_address(const json& document,
                         std::span<const std::string> package_hosts,
                         ReleaseManifest& manifest) {
  const std::string* version = string_value(member(document, "version"));
  if (version == nullptr)
    return kNoVersion;
  if (!is_version(*version))
    return kBadVersion;

  const std::string* sha256 = string_value(member(document, "sha256"));
  if (sha256 == nullptr || sha256->size() != 64 || !all_of(*sha256, is_hex_digit)) {
    return kNoDigest;
  }

  const std::string* url = string_value(member(document, "url"));
  if (url == nullptr)
    return kNoAddress;
  std::optional<std::string> file_name = file_name_in_address(*url, package_hosts, *version);
  if (!file_name)
    return kForeignAddress;

  manifest.sha256 = lower_case(*sha256);
  manifest.url = *url;
  manifest.file_name = std::move(*file_name);
  return nullptr;
}

// Steps 7 and 8: the public version and the exact file name. nullptr when both pass.
const char* check_file_name(const json& document, const ReleaseManifest& manifest) {
  const std::string* display_version = string_value(member(document, "displayVersion"));
  if (!is_display_version(display_version))
    return kBadDisplayVersion;
  const std::string expected =
      package_file_name_for(*display_version, std::to_string(manifest.build));
  return manifest.file_name == expected ? nullptr : kNameMismatch;
}

Result<ReleaseManifest> validate(const json& document,
                                 std::span<const std::string> package_hosts,
                                 uint64_t minimum_build) {
  // Step 2: the build, whose message names the minimum.
  const std::optional<uint64_t> build = non_negative_integer(member(document, "build"));
  if (!build || *build < minimum_build)
    return Failure{minimum_build_message(minimum_build)};
  ReleaseManifest manifest;
  manifest.build = *build;
  const char* message = read_size(document, manifest);
  if (message == nullptr)
    message = read_address(document, package_hosts, manifest);
  if (message == nullptr)
    message = check_file_name(document, manifest);
  if (message == nullptr && !is_this_package(document))
    message = kWrongPackage;
  if (message != nullptr)
    return Failure{message};
  return manifest;
}

}  // namespace

std::string package_file_name_for(std::string_view display_version, std::string_view build) {
  std::string name(kNamePrefix);
  name.append(display_version).append(kBuildMarker).append(build).append(kNameSuffix);
  return name;
}

std::optional<uint64_t> build_of_package_file_name(std::string_view name) {
  if (name.size() < kNamePrefix.size() + kNameSuffix.size() || !name.starts_with(kNamePrefix) ||
      !name.ends_with(kNameSuffix)) {
    return std::nullopt;
  }
  const std::string_view middle =
      name.substr(kNamePrefix.size(), name.size() - kNamePrefix.size() - kNameSuffix.size());
  const size_t marker = middle.rfind(kBuildMarker);
  if (marker == std::string_view::npos)
    return std::nullopt;
  const std::string display_version(middle.substr(0, marker));
  if (!is_display_version(&display_version))
    return std::nullopt;
  return parse_build_text(middle.substr(marker + kBuildMarker.size()));
}

std::optional<uint64_t> parse_build_text(std::string_view digits) {
  uint64_t build = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), build);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
      std::to_string(build) != digits) {
    return std::nullopt;
  }
  return build;
}

std::string package_folder_path(std::string_view version) {
  return "/downloads/quarvel/" + std::string(version) + "/";
}

std::string minimum_build_message(uint64_t minimum_build) {
  return "在线安装需要内部构建 " + std::to_string(minimum_build) + " 或更新版本";
}

Result<ReleaseManifest> parse_release_manifest(std::string_view body,
                                               std::span<const std::string> package_hosts,
                                               uint64_t minimum_build) {
  const std::optional<json> document = strict_json::parse(body);
  if (!document)
    return Failure{kParseFailed};
  return validate(*document, package_hosts, minimum_build);
}

}  // namespace quarvel
