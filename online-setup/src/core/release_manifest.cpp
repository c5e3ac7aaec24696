// The release manifest's validation: a strict JSON parse (no byte order mark,
// no trailing text, nesting below 128 levels, valid UTF-8, last duplicate key
// wins) followed by the field rules, checked in a fixed order so that the
// first broken rule decides the message. Pure, any thread, keeps no state.
#include "core/release_manifest.h"

#include <nlohmann/json.hpp>

#include <optional>

namespace quarvel {
namespace {

using nlohmann::json;

constexpr uint64_t kMinimumBuild = 27;
constexpr uint64_t kSmallestPackage = 1'048'577;
constexpr uint64_t kLargestPackage = 4'294'967'295;
constexpr std::string_view kNamePrefix = "Quarvel-";
constexpr std::string_view kBuildMarker = "-b";
constexpr std::string_view kNameSuffix = "-Windows-x64-Setup.exe";
constexpr size_t kMaxDisplayVersion = 16;
// Arrays and objects opened inside each other; this many or more is refused.
constexpr size_t kNestingLimit = 128;

constexpr char kParseFailed[] = "版本信息无法解析";
constexpr char kBuildTooOld[] = "在线安装需要内部构建 27 或更新版本";
constexpr char kBadSize[] = "安装包大小无效";
constexpr char kNoVersion[] = "缺少版本信息";
constexpr char kBadVersion[] = "版本格式无效";
constexpr char kNoDigest[] = "缺少安装包校验值";
constexpr char kNoAddress[] = "缺少下载地址";
constexpr char kForeignAddress[] = "安装包地址不属于 Quarvel 官方下载源";
constexpr char kBadDisplayVersion[] = "公开版本无效";
constexpr char kNameMismatch[] = "安装包名称与内部构建号不一致";
constexpr char kWrongPackage[] = "安装包平台或产品无效";

// The library's tree builder with a nesting limit; reports errors as values.
class LimitedDomBuilder {
 public:
  using Dom = nlohmann::detail::json_sax_dom_parser<json>;

  explicit LimitedDomBuilder(json& root) : dom_(root, /*allow_exceptions=*/false) {}

  bool null() { return dom_.null(); }
  bool boolean(bool value) { return dom_.boolean(value); }
  bool number_integer(json::number_integer_t value) { return dom_.number_integer(value); }
  bool number_unsigned(json::number_unsigned_t value) { return dom_.number_unsigned(value); }
  bool number_float(json::number_float_t value, const json::string_t& text) {
    return dom_.number_float(value, text);
  }
  bool string(json::string_t& value) { return dom_.string(value); }
  bool binary(json::binary_t& value) { return dom_.binary(value); }
  bool key(json::string_t& value) { return dom_.key(value); }
  bool start_object(std::size_t length) { return enter() && dom_.start_object(length); }
  bool end_object() { return leave() && dom_.end_object(); }
  bool start_array(std::size_t length) { return enter() && dom_.start_array(length); }
  bool end_array() { return leave() && dom_.end_array(); }
  bool parse_error(std::size_t position,
                   const std::string& token,
                   const nlohmann::detail::exception& error) {
    return dom_.parse_error(position, token, error);
  }

 private:
  bool enter() { return ++depth_ < kNestingLimit; }
  bool leave() {
    --depth_;
    return true;
  }

  Dom dom_;
  size_t depth_ = 0;
};

// The document, or nullopt when the body is not one acceptable JSON text.
std::optional<json> parse_document(std::string_view body) {
  // The library would skip a byte order mark, and it reads a NUL byte as the
  // end of the text (so "{}\0x" would pass); neither belongs in a JSON text.
  if (body.starts_with("\xEF\xBB\xBF") || body.find('\0') != std::string_view::npos) {
    return std::nullopt;
  }
  json root;
  LimitedDomBuilder builder(root);
  if (!json::sax_parse(body.begin(), body.end(), &builder, json::input_format_t::json,
                       /*strict=*/true, /*ignore_comments=*/false)) {
    return std::nullopt;
  }
  return root;
}

// The member's value, or nullptr when missing or the document is no object.
const json* member(const json& document, const char* key) {
  if (!document.is_object())
    return nullptr;
  const auto it = document.find(key);
  return it == document.end() ? nullptr : &*it;
}

// A non-negative integer held as an integer (not as floating point).
std::optional<uint64_t> non_negative_integer(const json* value) {
  if (value == nullptr)
    return std::nullopt;
  if (value->is_number_unsigned())
    return value->get<uint64_t>();
  if (value->is_number_integer() && value->get<int64_t>() >= 0) {
    return static_cast<uint64_t>(value->get<int64_t>());
  }
  return std::nullopt;
}

// The member's text, or nullptr when it is missing or not a string.
const std::string* string_value(const json* value) {
  return value != nullptr && value->is_string() ? &value->get_ref<const std::string&>() : nullptr;
}

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
// on the package host's layout.
std::optional<std::string> file_name_in_address(std::string_view url,
                                                std::string_view package_host,
                                                std::string_view version) {
  const std::string prefix = "https://" + std::string(package_host) + package_folder_path(version);
  if (!url.starts_with(prefix))
    return std::nullopt;
  const std::string_view name = url.substr(prefix.size());
  if (!name.ends_with(kNameSuffix) || !name.starts_with(kNamePrefix) ||
      !all_of(name, is_name_character)) {
    return std::nullopt;
  }
  return std::string(name);
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

// Steps 2 and 3: build and bytes. nullptr when both pass, else the message.
const char* read_numbers(const json& document, ReleaseManifest& manifest) {
  const std::optional<uint64_t> build = non_negative_integer(member(document, "build"));
  if (!build || *build < kMinimumBuild)
    return kBuildTooOld;
  const std::optional<uint64_t> bytes = non_negative_integer(member(document, "bytes"));
  if (!bytes || *bytes < kSmallestPackage || *bytes > kLargestPackage)
    return kBadSize;
  manifest.build = *build;
  manifest.bytes = *bytes;
  return nullptr;
}

// Steps 4 to 6: version, digest and address. nullptr when all pass.
const char* read_address(const json& document,
                         std::string_view package_host,
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
  std::optional<std::string> file_name = file_name_in_address(*url, package_host, *version);
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

Result<ReleaseManifest> validate(const json& document, std::string_view package_host) {
  ReleaseManifest manifest;
  const char* message = read_numbers(document, manifest);
  if (message == nullptr)
    message = read_address(document, package_host, manifest);
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

std::string package_folder_path(std::string_view version) {
  return "/downloads/quarvel/" + std::string(version) + "/";
}

Result<ReleaseManifest> parse_release_manifest(std::string_view body,
                                               std::string_view package_host) {
  const std::optional<json> document = parse_document(body);
  if (!document)
    return Failure{kParseFailed};
  return validate(*document, package_host);
}

}  // namespace quarvel
