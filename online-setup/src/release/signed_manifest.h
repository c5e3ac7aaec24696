// The signed release manifest: "signed" holds the base64 of the payload (the
// manifest's members plus "serial" and "expires"), "signatures" the ECDSA
// P-256 signatures of those payload bytes, each named by its key's id. In a
// build with manifest keys only a payload signed by one of them is trusted,
// and only the payload is read. Pure apart from the verifier it is given;
// runs on the install run's thread (and in the publisher).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/result.h"
#include "release/ecdsa_signature.h"
#include "release/release_manifest.h"

namespace quarvel {

// A P-256 public key that may sign the manifest.
struct ManifestKey {
  // The lower-case hexadecimal SHA-256 of its DER SubjectPublicKeyInfo, as
  // the manifest's "key" names it.
  std::string_view id;
  P256Point point;
};

// ECDSA P-256 with SHA-256: CNG on Windows, OpenSSL natively.
class ManifestSignatureVerifier {
 public:
  virtual ~ManifestSignatureVerifier() = default;
  // True only when the signature is valid for the message and the key;
  // false for every other outcome, a platform failure included.
  virtual bool verify(const P256Point& point,
                      std::string_view message,
                      const RawEcdsaSignature& signature) = 0;
};

// What one build of the program trusts in a manifest.
struct ManifestPolicy {
  uint64_t minimum_build = kDefaultMinimumBuild;
  // Empty: the manifest is trusted as fetched and read as it is, unsigned.
  std::span<const ManifestKey> keys;
  // Needed whenever keys are configured.
  ManifestSignatureVerifier* verifier = nullptr;
};

// A payload that a configured key signed and every manifest rule accepts.
struct SignedManifest {
  ReleaseManifest manifest;
  uint64_t serial = 0;  // grows with every publication
  int64_t expires = 0;  // seconds since 1970, UTC
  std::string payload;  // the signed payload's bytes, as they were verified
};

// Entries of "signatures" looked at; those after them are ignored, so a long
// list cannot make a run verify without end.
inline constexpr size_t kMostManifestSignatures = 8;

// The members a signed manifest adds to the release manifest's own.
inline constexpr char kSignedMember[] = "signed";
inline constexpr char kSignaturesMember[] = "signatures";
// The payload's optional member naming the package's chunk map:
// {"bytes": SIZE, "sha256": "64 hexadecimal digits"}.
inline constexpr char kChunkMapMember[] = "chunks";

// Checks the manifest text in this order: one JSON document ("版本信息无法解析"
// otherwise); a "signed" text and a non-empty "signatures" array
// ("版本信息未签名，无法确认来源"); among the first kMostManifestSignatures
// entries one whose "key" is a configured key's id ("版本信息的签名密钥不受信任"
// when none is) and whose "sig" verifies over the decoded payload bytes
// ("版本信息签名无效" when none does, or a text is no strict base64 or DER);
// then the payload alone through every manifest rule (their messages), its
// "serial" ("版本信息缺少发布序号") and "expires" ("版本信息缺少有效期"), and
// its "chunks" when there is one: an object whose "bytes" is an integer from
// the size of a one-chunk map to chunk_map_size_limit of the package's size
// and whose "sha256" is 64 hexadecimal digits ("安装包的分块清单无效"
// otherwise); without it the manifest names no chunk map.
// The expiry is not compared with any clock here. Requires policy.verifier.
// The address may name any of the listed package hosts.
Result<SignedManifest> accept_signed_manifest(std::string_view text,
                                              std::span<const std::string> package_hosts,
                                              const ManifestPolicy& policy);

// The payload bytes of a manifest text once a configured key's signature
// verifies over them, whatever the payload says: the first checks of
// accept_signed_manifest and their messages ("版本信息无法解析",
// "版本信息未签名，无法确认来源", "版本信息的签名密钥不受信任", "版本信息签名无效").
// Requires policy.verifier.
Result<std::string> verified_manifest_payload(std::string_view text, const ManifestPolicy& policy);

// A verified payload through every manifest rule (their messages), its
// "serial" ("版本信息缺少发布序号") and "expires" ("版本信息缺少有效期"): the
// part of accept_signed_manifest after the signature.
Result<SignedManifest> read_verified_payload(std::string payload,
                                             std::span<const std::string> package_hosts,
                                             uint64_t minimum_build);

// The "serial" of a verified payload, whatever else it says or lacks;
// nullopt when it has none.
std::optional<uint64_t> verified_payload_serial(std::string_view payload);

// The same with one package host (the publisher's case).
inline Result<SignedManifest> accept_signed_manifest(std::string_view text,
                                                     std::string_view package_host,
                                                     const ManifestPolicy& policy) {
  const std::string host(package_host);
  return accept_signed_manifest(text, std::span(&host, 1), policy);
}

// True once the clock (seconds since 1970) has reached the expiry.
bool has_expired(const SignedManifest& manifest, int64_t now);

// "版本信息已过期（有效期至 {expires}）；请检查本机时钟是否正确".
std::string manifest_expired_message(int64_t expires);

// The platform's verifier: CNG's ECDSA_P256 from System32 on Windows,
// OpenSSL natively.
ManifestSignatureVerifier& system_manifest_verifier();

// The keys this executable trusts (QUARVEL_MANIFEST_KEYS, or the test keys in
// the signed-manifest test build); empty when it trusts the manifest on TLS
// alone. Generated by the build.
std::span<const ManifestKey> configured_manifest_keys();

// The least internal build this executable installs (QUARVEL_MINIMUM_BUILD).
// Generated by the build.
uint64_t configured_minimum_build();

}  // namespace quarvel
