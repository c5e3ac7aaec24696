// The signed latest.json as the publisher writes it: the release manifest's
// members outside, for installers without manifest keys, and the same members
// with "serial" and "expires" as the signed payload, with one signature per
// key. Main thread of the publisher.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/result.h"
#include "publisher/manifest_signer.h"
#include "release/signed_manifest.h"

namespace quarvel {

// How long a signed manifest is valid unless --expires-in says otherwise,
// and the most it may say: a stolen copy can be replayed, and a dead signing
// job go unnoticed, for that long.
inline constexpr uint32_t kDefaultExpiryDays = 30;
inline constexpr uint32_t kLongestExpiryDays = 365;

// The serial of a publication at `now` (seconds since 1970): the time itself,
// so that it grows from one publication to the next wherever it is made, and
// at least one more than the earlier serial; never below 1. nullopt when the
// earlier serial is the largest 64-bit value, which nothing can follow.
std::optional<uint64_t> next_serial(int64_t now, std::optional<uint64_t> earlier);

// The signed payload of a published latest.json, as a JSON document, once a
// signature by one of the keys verifies over it (OpenSSL): nothing outside
// the payload, and nothing in a file that anyone could have written, counts.
// The installer's refusal otherwise (verified_manifest_payload's messages, and
// "版本信息无法解析" for a payload that is no JSON document).
Result<nlohmann::json> verified_content(std::string_view text, std::span<const ManifestKey> keys);

// The release manifest's own members of verified content (any other is dropped).
nlohmann::json release_members(const nlohmann::json& content);

// The members of verified content that only a signed payload carries
// besides the release's own, serial and expiry: the chunk map's, when it has
// one. An empty object otherwise.
nlohmann::json payload_only_members(const nlohmann::json& content);

// The serial of verified content; nullopt when it has none.
std::optional<uint64_t> published_serial(const nlohmann::json& content);

// The signed latest.json (compact, keys in byte order) of the members, whose
// payload also carries `payload_only` (payload_only_members). Returns the
// first signer's failure.
Result<std::string> signed_manifest_text(const nlohmann::json& members,
                                         const nlohmann::json& payload_only,
                                         uint64_t serial,
                                         int64_t expires,
                                         const std::vector<ManifestSigner>& signers);

}  // namespace quarvel
