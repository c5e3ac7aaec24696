// libFuzzer target for the release manifest as served: parse_release_manifest
// gives exactly one of the rule messages, or a record that obeys every rule
// and agrees with the document; the signed form's base64 and DER readers take
// only what they would write themselves; and its acceptance (under a verifier
// that accepts every signature, so the fuzzer gets past it) gives one of its
// messages, or a record made from the strictly decoded payload alone.
// Fuzzer thread only.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "../support/accepting_verifier.h"
#include "core/base64.h"
#include "fuzz_check.h"
#include "release/ecdsa_signature.h"
#include "release/release_manifest.h"
#include "release/signed_manifest.h"

namespace quarvel::fuzzing {
namespace {

using nlohmann::json;

constexpr std::string_view kPrefix = "https://packages.quarvel.test/downloads/quarvel/";
constexpr std::string_view kNameSuffix = "-Windows-x64-Setup.exe";
constexpr std::string_view kParseFailed = "版本信息无法解析";

constexpr std::array<std::string_view, 11> kMessages = {
    kParseFailed,           "在线安装需要内部构建 27 或更新版本",
    "安装包大小无效",       "缺少版本信息",
    "版本格式无效",         "缺少安装包校验值",
    "缺少下载地址",         "安装包地址不属于 Quarvel 官方下载源",
    "公开版本无效",         "安装包名称与内部构建号不一致",
    "安装包平台或产品无效",
};

bool only(std::string_view text, std::string_view allowed) {
  return text.find_first_not_of(allowed) == std::string_view::npos;
}

// Three non-empty runs of digits separated by ".".
bool is_version(std::string_view text) {
  const size_t first = text.find('.');
  const size_t second = first == std::string_view::npos ? first : text.find('.', first + 1);
  if (second == std::string_view::npos || text.find('.', second + 1) != std::string_view::npos) {
    return false;
  }
  return first > 0 && second > first + 1 && second + 1 < text.size() && only(text, "0123456789.");
}

void check_address(const ReleaseManifest& m) {
  require(m.url.starts_with(kPrefix), "url begins with the package host's downloads folder");
  const std::string_view rest = std::string_view(m.url).substr(kPrefix.size());
  const size_t slash = rest.find('/');
  require(slash != std::string_view::npos && is_version(rest.substr(0, slash)),
          "url names a version directory");
  require(rest.substr(slash + 1) == m.file_name, "file_name is the url's last segment");
  require(only(m.file_name, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789.-_"),
          "file_name characters");
  const std::string tail = "-b" + std::to_string(m.build) + std::string(kNameSuffix);
  require(m.file_name.starts_with("Quarvel-") && m.file_name.ends_with(tail) &&
              m.file_name.size() > 8 + tail.size(),
          "file_name form");
  const std::string_view display =
      std::string_view(m.file_name).substr(8, m.file_name.size() - 8 - tail.size());
  require(display.size() <= 16 && only(display, "0123456789."), "public version in file_name");
}

void check_record(const ReleaseManifest& m) {
  require(m.sha256.size() == 64 && only(m.sha256, "0123456789abcdef"), "lower-case digest");
  require(m.build >= 27, "build 27 or more");
  require(m.bytes >= 1048577 && m.bytes <= 4294967295u, "bytes in range");
  check_address(m);
}

std::string lower_case(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// A member of the accepted document; every key the rules read must be there.
const json& member(const json& document, const char* key) {
  require(document.contains(key), "accepted document holds every key");
  return document[key];
}

// The deepest nesting of arrays and objects in a JSON text.
size_t nesting_depth(std::string_view text) {
  size_t depth = 0, deepest = 0;
  bool in_string = false, escaped = false;
  for (const char c : text) {
    if (in_string) {
      in_string = escaped || c != '"';
      escaped = !escaped && c == '\\';
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++depth);
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return deepest;
}

// The record against the library's own reading of the same text.
void check_against_document(std::string_view body, const ReleaseManifest& m) {
  require(!body.starts_with("\xEF\xBB\xBF"), "no byte order mark accepted");
  require(body.find('\0') == std::string_view::npos, "no NUL byte accepted");
  require(nesting_depth(body) < 128, "nesting below 128 levels");
  const json document = json::parse(body.begin(), body.end(), nullptr, false);
  require(document.is_object(), "accepted text is a JSON object");
  const json& build = member(document, "build");
  const json& bytes = member(document, "bytes");
  const json& sha256 = member(document, "sha256");
  const json& schema = member(document, "schema");
  require(build.is_number_unsigned() && build.get<uint64_t>() == m.build, "build as in the text");
  require(bytes.is_number_unsigned() && bytes.get<uint64_t>() == m.bytes, "bytes as in the text");
  require(sha256.is_string() && lower_case(sha256.get<std::string>()) == m.sha256,
          "digest as in the text");
  require(member(document, "url") == m.url, "url as in the text");
  require(schema.is_number_integer() && schema.get<int64_t>() == 1 &&
              member(document, "product") == "quarvel" &&
              member(document, "platform") == "windows-x64" &&
              member(document, "channel") == "cef-offline",
          "schema, product, platform and channel");
}

void check_rules(std::string_view body) {
  const Result<ReleaseManifest> result = parse_release_manifest(body, "packages.quarvel.test");
  if (!result.ok()) {
    int matches = 0;
    for (const std::string_view message : kMessages)
      matches += result.message() == message;
    require(matches == 1, "one of the rule messages");
    // What the library itself refuses can only end in the parse message.
    require(json::accept(body.begin(), body.end()) || result.message() == kParseFailed,
            "invalid JSON gives the parse message");
    return;
  }
  check_record(*result);
  check_against_document(body, *result);
}

void check_base64(std::string_view text) {
  const std::optional<std::string> decoded = base64_decode(text);
  if (decoded)
    require(base64_encode(*decoded) == text, "base64 reads only what it writes");
}

// One INTEGER in its minimal DER form.
std::string der_integer(std::span<const uint8_t> scalar) {
  const size_t zeros =
      std::find_if(scalar.begin(), scalar.end() - 1, [](uint8_t b) { return b; }) - scalar.begin();
  std::string value(scalar.begin() + static_cast<std::ptrdiff_t>(zeros), scalar.end());
  if (static_cast<uint8_t>(value[0]) & 0x80)
    value.insert(value.begin(), '\0');
  return std::string{'\x02', static_cast<char>(value.size())} + value;
}

void check_der(std::string_view bytes) {
  const auto raw =
      ecdsa_der_to_raw(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  const std::string body =
      raw ? der_integer(std::span(*raw).first(32)) + der_integer(std::span(*raw).last(32))
          : std::string();
  require(!raw || std::string{'\x30', static_cast<char>(body.size())} + body == bytes,
          "DER reads only the one encoding of r and s");
}

constexpr std::array<std::string_view, 5> kSignedMessages = {
    "版本信息未签名，无法确认来源", "版本信息的签名密钥不受信任", "版本信息签名无效",
    "版本信息缺少发布序号", "版本信息缺少有效期"};

// Under a verifier that accepts every signature by the key the seeds name.
void check_signed(std::string_view body) {
  testing_support::AcceptingVerifier verifier;
  const std::array<ManifestKey, 1> keys{{{testing_support::kTestManifestKeyId, {}}}};
  const Result<SignedManifest> accepted =
      accept_signed_manifest(body, "packages.quarvel.test", {27, keys, &verifier});
  if (!accepted.ok()) {
    const std::string& message = accepted.message();
    require(std::count(kSignedMessages.begin(), kSignedMessages.end(), message) +
                    std::count(kMessages.begin(), kMessages.end(), message) ==
                1,
            "one of the signed manifest's or the rules' messages");
    return;
  }
  const json document = json::parse(body.begin(), body.end(), nullptr, false);
  require(base64_encode(accepted->payload) == document.value("signed", std::string()),
          "the payload is the strict decoding of \"signed\"");
  check_record(accepted->manifest);
  check_against_document(accepted->payload, accepted->manifest);
}

}  // namespace
}  // namespace quarvel::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quarvel::fuzzing;
  const std::string_view body(reinterpret_cast<const char*>(data), size);
  check_rules(body);
  check_base64(body);
  check_der(body);
  check_signed(body);
  return 0;
}
