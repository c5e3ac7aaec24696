// Composing and reading the signed latest.json. Main thread of the publisher.
#include "publisher/manifest_signing.h"

#include <algorithm>
#include <array>
#include <limits>

#include "core/base64.h"
#include "core/json_text.h"
#include "core/strict_json.h"
#include "core/utc_time.h"

namespace quarvel {
namespace {

constexpr std::array<const char*, 10> kReleaseMembers = {
    "build",  "bytes",  "channel", "displayVersion", "platform", "product",
    "schema", "sha256", "url",     "version"};

}  // namespace

std::optional<uint64_t> next_serial(int64_t now, std::optional<uint64_t> earlier) {
  const uint64_t from_clock = now > 0 ? static_cast<uint64_t>(now) : 1;
  if (!earlier || *earlier < from_clock)
    return from_clock;
  if (*earlier == std::numeric_limits<uint64_t>::max())
    return std::nullopt;
  return *earlier + 1;
}

Result<nlohmann::json> verified_content(std::string_view text, std::span<const ManifestKey> keys) {
  const ManifestPolicy policy{kDefaultMinimumBuild, keys, &system_manifest_verifier()};
  const Result<std::string> payload = verified_manifest_payload(text, policy);
  if (!payload)
    return payload.failure();
  std::optional<nlohmann::json> content = strict_json::parse(*payload);
  if (!content)
    return Failure{"版本信息无法解析"};
  return std::move(content).value();
}

nlohmann::json release_members(const nlohmann::json& content) {
  nlohmann::json members = nlohmann::json::object();
  for (const char* key : kReleaseMembers) {
    if (const nlohmann::json* value = strict_json::member(content, key))
      members[key] = *value;
  }
  return members;
}

nlohmann::json payload_only_members(const nlohmann::json& content) {
  nlohmann::json members = nlohmann::json::object();
  if (const nlohmann::json* chunks = strict_json::member(content, kChunkMapMember))
    members[kChunkMapMember] = *chunks;
  return members;
}

std::optional<uint64_t> published_serial(const nlohmann::json& content) {
  return strict_json::non_negative_integer(strict_json::member(content, "serial"));
}

Result<std::string> signed_manifest_text(const nlohmann::json& members,
                                         const nlohmann::json& payload_only,
                                         uint64_t serial,
                                         int64_t expires,
                                         const std::vector<ManifestSigner>& signers) {
  nlohmann::json payload = members;
  payload.update(payload_only);
  payload["serial"] = serial;
  payload["expires"] = format_utc_time(expires);
  const std::string payload_text = json_compact(payload);
  nlohmann::json signatures = nlohmann::json::array();
  for (const ManifestSigner& signer : signers) {
    Result<std::string> signature = signer.sign(payload_text);
    if (!signature)
      return signature.failure();
    signatures.push_back({{"key", signer.id()}, {"sig", std::move(signature).value()}});
  }
  nlohmann::json manifest = members;
  manifest[kSignedMember] = base64_encode(payload_text);
  manifest[kSignaturesMember] = std::move(signatures);
  return json_compact(manifest);
}

}  // namespace quarvel
