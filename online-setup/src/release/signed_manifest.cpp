// The signed manifest's acceptance: the signature over the exact payload
// bytes first, and only then anything the payload says. Pure apart from the
// verifier; runs on the install run's thread (and in the publisher).
#include "release/signed_manifest.h"

#include <optional>

#include "core/base64.h"
#include "core/strict_json.h"
#include "core/utc_time.h"

namespace quarvel {
namespace {

using nlohmann::json;

constexpr char kParseFailed[] = "版本信息无法解析";
constexpr char kUnsigned[] = "版本信息未签名，无法确认来源";
constexpr char kUnknownKey[] = "版本信息的签名密钥不受信任";
constexpr char kBadSignature[] = "版本信息签名无效";
constexpr char kNoSerial[] = "版本信息缺少发布序号";
constexpr char kNoExpiry[] = "版本信息缺少有效期";

const ManifestKey* configured_key(const ManifestPolicy& policy, const json& entry) {
  const std::string* id = strict_json::string_value(strict_json::member(entry, "key"));
  if (id == nullptr)
    return nullptr;
  for (const ManifestKey& key : policy.keys) {
    if (key.id == *id)
      return &key;
  }
  return nullptr;
}

// Whether the entry's "sig" is a strict base64 DER signature by the key over
// the payload.
bool signature_verifies(const ManifestPolicy& policy,
                        const ManifestKey& key,
                        const json& entry,
                        std::string_view payload) {
  const std::string* text = strict_json::string_value(strict_json::member(entry, "sig"));
  const std::optional<std::string> der = text ? base64_decode(*text) : std::nullopt;
  if (!der)
    return false;
  const std::optional<RawEcdsaSignature> raw =
      ecdsa_der_to_raw(std::span(reinterpret_cast<const uint8_t*>(der->data()), der->size()));
  return raw && policy.verifier->verify(key.point, payload, *raw);
}

// The payload's bytes once a configured key's signature verifies over them;
// else the message for what the signatures lack.
Result<std::string> verified_payload(const json& document, const ManifestPolicy& policy) {
  const std::string* encoded =
      strict_json::string_value(strict_json::member(document, kSignedMember));
  const json* signatures = strict_json::member(document, kSignaturesMember);
  if (encoded == nullptr || signatures == nullptr || !signatures->is_array() ||
      signatures->empty()) {
    return Failure{kUnsigned};
  }
  const std::optional<std::string> payload = base64_decode(*encoded);
  bool named_a_key = false;
  size_t looked_at = 0;
  for (const json& entry : *signatures) {
    if (++looked_at > kMostManifestSignatures)
      break;
    const ManifestKey* key = configured_key(policy, entry);
    if (key == nullptr)
      continue;
    named_a_key = true;
    if (payload && signature_verifies(policy, *key, entry, *payload))
      return *payload;
  }
  return Failure{named_a_key ? kBadSignature : kUnknownKey};
}

// Reads the payload's chunk map, if it names one, into the manifest; false
// when the member is there but is no reference to a map the package could
// have.
bool read_chunk_map_member(const json& payload, ReleaseManifest& manifest) {
  const json* member = strict_json::member(payload, kChunkMapMember);
  if (member == nullptr)
    return true;
  const std::optional<uint64_t> bytes =
      strict_json::non_negative_integer(strict_json::member(*member, "bytes"));
  const std::string* digest = strict_json::string_value(strict_json::member(*member, "sha256"));
  const std::optional<ChunkDigest> sha256 = digest ? digest_from_hex(*digest) : std::nullopt;
  if (!bytes || *bytes < kChunkMapHeaderBytes + kChunkMapEntryBytes ||
      *bytes > chunk_map_size_limit(manifest.bytes) || !sha256) {
    return false;
  }
  manifest.chunk_map = ChunkMapReference{*bytes, *sha256};
  return true;
}

}  // namespace

Result<std::string> verified_manifest_payload(std::string_view text, const ManifestPolicy& policy) {
  const std::optional<json> document = strict_json::parse(text);
  if (!document)
    return Failure{kParseFailed};
  return verified_payload(*document, policy);
}

Result<SignedManifest> read_verified_payload(std::string payload,
                                             std::span<const std::string> package_hosts,
                                             uint64_t minimum_build) {
  // From here on the payload is the vendor's: its members alone count.
  Result<ReleaseManifest> manifest = parse_release_manifest(payload, package_hosts, minimum_build);
  if (!manifest)
    return manifest.failure();
  // The rules parsed the same text: it is one JSON document.
  const std::optional<json> signed_document = strict_json::parse(payload);
  const std::optional<uint64_t> serial =
      strict_json::non_negative_integer(strict_json::member(*signed_document, "serial"));
  if (!serial)
    return Failure{kNoSerial};
  const std::string* expires_text =
      strict_json::string_value(strict_json::member(*signed_document, "expires"));
  const std::optional<int64_t> expires =
      expires_text ? parse_utc_time(*expires_text) : std::nullopt;
  if (!expires)
    return Failure{kNoExpiry};
  if (!read_chunk_map_member(*signed_document, *manifest))
    return Failure{std::string(kChunkMapInvalidText)};
  return SignedManifest{std::move(manifest).value(), *serial, *expires, std::move(payload)};
}

std::optional<uint64_t> verified_payload_serial(std::string_view payload) {
  const std::optional<json> document = strict_json::parse(payload);
  if (!document)
    return std::nullopt;
  return strict_json::non_negative_integer(strict_json::member(*document, "serial"));
}

Result<SignedManifest> accept_signed_manifest(std::string_view text,
                                              std::span<const std::string> package_hosts,
                                              const ManifestPolicy& policy) {
  Result<std::string> payload = verified_manifest_payload(text, policy);
  if (!payload)
    return payload.failure();
  return read_verified_payload(std::move(payload).value(), package_hosts, policy.minimum_build);
}

bool has_expired(const SignedManifest& manifest, int64_t now) {
  return now >= manifest.expires;
}

std::string manifest_expired_message(int64_t expires) {
  return "版本信息已过期（有效期至 " + format_utc_time(expires) + "）；请检查本机时钟是否正确";
}

}  // namespace quarvel
