// The signed manifest: which texts a build with manifest keys accepts (the
// platform's ECDSA on a manifest signed by quarvel-publish, and the order of
// the checks with a verifier that accepts every signature), and which of the
// fetched and the kept manifest a run uses.
#include "release/signed_manifest.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "core/base64.h"
#include "release/manifest_choice.h"
#include "support/accepting_verifier.h"
#include "support/fixtures.h"

namespace quarvel {
namespace {

using nlohmann::json;
using testing_support::AcceptingVerifier;
using testing_support::kAnySignature;
using testing_support::read_fixture;

constexpr char kHost[] = "packages.quarvel.test";
constexpr char kUnsigned[] = "版本信息未签名，无法确认来源";
constexpr char kUnknownKey[] = "版本信息的签名密钥不受信任";
constexpr char kBadSignature[] = "版本信息签名无效";

// The key of tests/fixtures/manifest-keys/signing.pub.pem, which signed
// manifests/signed.json (serial 1796768252, expiring 2027-12-08T22:17:32Z).
constexpr const char* kFixtureKeyId = testing_support::kTestManifestKeyId;
constexpr char kFixturePoint[] =
    "ae1a141dccb7a655525380f526de55bc294f4b4f6c65db31fb0d96b274dffa23"
    "f15fb8ac8606ed2e30b529345ee0c1cbab4b4b00c7638719f16ac583c21b86f7";

P256Point point_of_hex(const std::string& hex) {
  P256Point point{};
  for (size_t i = 0; i < point.size(); ++i)
    point[i] = static_cast<uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
  return point;
}

// The fixture's payload, decoded.
json fixture_payload() {
  const json outer = json::parse(read_fixture("manifests/signed.json"));
  return json::parse(*base64_decode(outer["signed"].get<std::string>()));
}

// A manifest whose payload is `payload`, with outer members that differ
// from it, signed (for the accepting verifier) by the given key ids.
std::string manifest_with(const json& payload, const std::vector<std::string>& key_ids) {
  json outer = json::parse(read_fixture("manifests/valid.json"));
  outer["build"] = 99;
  outer["url"] = "https://elsewhere.example/Quarvel-1.4-b99-Windows-x64-Setup.exe";
  outer["signed"] = base64_encode(payload.dump());
  outer["signatures"] = json::array();
  for (const std::string& id : key_ids)
    outer["signatures"].push_back({{"key", id}, {"sig", kAnySignature}});
  return outer.dump();
}

class SignedManifestTest : public testing::Test {
 protected:
  const std::array<ManifestKey, 1> keys{{{kFixtureKeyId, point_of_hex(kFixturePoint)}}};
  const ManifestPolicy policy{27, keys, &system_manifest_verifier()};
  AcceptingVerifier accepting;
  const ManifestPolicy accepting_policy{27, keys, &accepting};
};

TEST_F(SignedManifestTest, APublishedManifestVerifiesWithThePlatformsEcdsa) {
  const Result<SignedManifest> accepted =
      accept_signed_manifest(read_fixture("manifests/signed.json"), kHost, policy);
  ASSERT_TRUE(accepted) << accepted.message();
  EXPECT_EQ(accepted->serial, 1796768252u);
  EXPECT_EQ(accepted->expires, 1828304252);  // 2027-12-08T22:17:32Z
  EXPECT_EQ(accepted->manifest.build, 31u);
  EXPECT_EQ(accepted->manifest.file_name, "Quarvel-1.4-b31-Windows-x64-Setup.exe");
}

TEST_F(SignedManifestTest, ChangedUnsignedOrForeignManifestsAreRefused) {
  const json fixture = json::parse(read_fixture("manifests/signed.json"));
  const auto edited = [&](const std::function<void(json&)>& edit) {
    json copy = fixture;
    edit(copy);
    return copy.dump();
  };
  std::string changed_payload = *base64_decode(fixture["signed"].get<std::string>());
  changed_payload[changed_payload.find("\"build\":31") + 9] = '2';  // one byte
  std::string flipped_signature =
      *base64_decode(fixture["signatures"][0]["sig"].get<std::string>());
  flipped_signature[10] ^= 1;
  const std::vector<std::pair<std::string, std::string>> cases{
      {edited([&](json& m) { m["signed"] = base64_encode(changed_payload); }), kBadSignature},
      {edited([&](json& m) { m["signatures"][0]["sig"] = base64_encode(flipped_signature); }),
       kBadSignature},
      {edited([&](json& m) { m["signatures"][0]["key"] = std::string(64, 'a'); }), kUnknownKey},
      {edited([&](json& m) { m["signatures"] = json::array(); }), kUnsigned},
      {edited([&](json& m) { m.erase("signed"); }), kUnsigned},
      {edited([&](json& m) { m["signatures"] = m["signatures"][0]; }), kUnsigned},
      {read_fixture("manifests/valid.json"), kUnsigned},
      {read_fixture("manifests/signed.json") + "x", "版本信息无法解析"},
  };
  for (const auto& [text, message] : cases) {
    SCOPED_TRACE(text.substr(0, 160));
    const Result<SignedManifest> refused = accept_signed_manifest(text, kHost, policy);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.message(), message);
  }
}

// Base64 is read strictly: unpadded text never reaches the verifier, which
// here would accept any signature.
TEST_F(SignedManifestTest, UnpaddedBase64NeverReachesTheVerifier) {
  json outer = json::parse(manifest_with(fixture_payload(), {kFixtureKeyId}));
  const std::string padded = outer["signed"];
  ASSERT_TRUE(padded.ends_with("="));
  outer["signatures"][0]["sig"] = "MAYCAQECAQI";
  EXPECT_EQ(accept_signed_manifest(outer.dump(), kHost, accepting_policy).message(), kBadSignature);
  outer["signatures"][0]["sig"] = kAnySignature;
  outer["signed"] = padded.substr(0, padded.find('='));
  EXPECT_EQ(accept_signed_manifest(outer.dump(), kHost, accepting_policy).message(), kBadSignature);
  EXPECT_EQ(accepting.calls, 0);
}

TEST_F(SignedManifestTest, OnlyThePayloadCountsAndItMustPassEveryRule) {
  const json payload = fixture_payload();
  const Result<SignedManifest> accepted =
      accept_signed_manifest(manifest_with(payload, {kFixtureKeyId}), kHost, accepting_policy);
  ASSERT_TRUE(accepted) << accepted.message();
  EXPECT_EQ(accepted->manifest.build, 31u) << "the outer build 99 is ignored";

  const auto refusal = [&](const std::function<void(json&)>& edit, uint64_t minimum = 27) {
    json copy = payload;
    edit(copy);
    const ManifestPolicy strict{minimum, keys, &accepting};
    return accept_signed_manifest(manifest_with(copy, {kFixtureKeyId}), kHost, strict).message();
  };
  EXPECT_EQ(refusal([](json&) {}, 40), "在线安装需要内部构建 40 或更新版本");
  EXPECT_EQ(refusal([](json& p) { p["channel"] = "beta"; }), "安装包平台或产品无效");
  EXPECT_EQ(refusal([](json& p) { p.erase("serial"); }), "版本信息缺少发布序号");
  EXPECT_EQ(refusal([](json& p) { p["serial"] = -1; }), "版本信息缺少发布序号");
  EXPECT_EQ(refusal([](json& p) { p.erase("expires"); }), "版本信息缺少有效期");
  EXPECT_EQ(refusal([](json& p) { p["expires"] = "2027-12-08 22:17:32"; }), "版本信息缺少有效期");
}

// The payload may name the chunk map: its size, within what a map of the
// package can have, and its SHA-256.
TEST_F(SignedManifestTest, ThePayloadMayNameAChunkMapOfAPossibleSize) {
  json payload = fixture_payload();
  const uint64_t limit = chunk_map_size_limit(payload["bytes"].get<uint64_t>());
  const std::string digest = "0A" + std::string(62, 'b');
  const auto accepted = [&](const json& chunks) {
    json copy = payload;
    if (!chunks.is_null())
      copy["chunks"] = chunks;
    return accept_signed_manifest(manifest_with(copy, {kFixtureKeyId}), kHost, accepting_policy);
  };
  EXPECT_EQ(accepted(nullptr).value().manifest.chunk_map, std::nullopt);
  const Result<SignedManifest> named = accepted({{"bytes", limit}, {"sha256", digest}});
  ASSERT_TRUE(named) << named.message();
  EXPECT_EQ(named->manifest.chunk_map->bytes, limit);
  EXPECT_EQ(named->manifest.chunk_map->sha256, *digest_from_hex(digest));
  const std::vector<json> broken{
      {{"bytes", limit + 1}, {"sha256", digest}},
      {{"bytes", kChunkMapHeaderBytes + kChunkMapEntryBytes - 1}, {"sha256", digest}},
      {{"bytes", 1000.0}, {"sha256", digest}},
      {{"bytes", 1000}, {"sha256", "g" + digest.substr(1)}},
      json::array({1000, digest}),
  };
  for (const json& chunks : broken)
    EXPECT_EQ(accepted(chunks).message(), "安装包的分块清单无效") << chunks.dump();
}

TEST_F(SignedManifestTest, OnlyTheFirstEightSignaturesAreLookedAt) {
  const std::vector<std::string> others(8, std::string(64, 'b'));
  std::vector<std::string> ninth = others;
  ninth.push_back(kFixtureKeyId);
  EXPECT_EQ(accept_signed_manifest(manifest_with(fixture_payload(), ninth), kHost, accepting_policy)
                .message(),
            kUnknownKey);
  std::vector<std::string> eighth(7, std::string(64, 'b'));
  eighth.push_back(kFixtureKeyId);
  EXPECT_TRUE(
      accept_signed_manifest(manifest_with(fixture_payload(), eighth), kHost, accepting_policy));
  EXPECT_EQ(accepting.calls, 1) << "unknown keys cost no verification";
}

// The choice between the fetched and the kept manifest: each row a fetched
// manifest (or none), what the cache folder holds and the outcome at 1500
// (or the row's time) under the row's offline grace (none unless it says).
TEST(ManifestChoice, TheKeptManifestStandsInStopsARollbackAndIsReplacedOnlyByANewerOne) {
  const auto manifest = [](uint64_t serial, int64_t expires, std::string payload = "") {
    return SignedManifest{ReleaseManifest{}, serial, expires,
                          payload.empty() ? "payload " + std::to_string(serial) : payload};
  };
  using File = KeptManifest::File;
  const auto kept = [&](uint64_t serial, int64_t expires) {
    return KeptManifest{File::kRead, serial, manifest(serial, expires)};
  };
  const SignedManifest old_live = manifest(5, 2000), old_expired = manifest(5, 1000),
                       same = manifest(7, 2000), same_serial_other = manifest(7, 2000, "other"),
                       new_live = manifest(9, 2000), new_expired = manifest(9, 1000),
                       new_at_the_clock = manifest(9, 1500);
  const Failure outage{"获取版本失败（HTTP 503）"};
  const int64_t now = 1500;
  const std::string expired =
      "版本信息已过期（有效期至 1970-01-01T00:16:40Z）；请检查本机时钟是否正确";
  const std::string rollback = "版本信息比本机保存的旧（发布序号 5 低于 7），请稍后重试";
  struct Case {
    const char* name;
    const SignedManifest* fetched;
    KeptManifest kept;
    std::string expected;  // "fetched", "fetched+keep", "kept", "kept+past" or the message
    uint32_t grace_days = 0;
    int64_t at = now;
  };
  const int64_t day = kSecondsPerGraceDay;
  const KeptManifest nothing{File::kAbsent}, kept7 = kept(7, 2000), kept7_expired = kept(7, 1000),
                                             kept7_at_the_clock = kept(7, 1500);
  // Verified, but no longer meeting the build's rules (another host list).
  const KeptManifest kept7_off_rules{File::kRead, 7, std::nullopt};
  const std::vector<Case> cases{
      {"first run", &new_live, nothing, "fetched+keep"},
      {"newer", &new_live, kept7, "fetched+keep"},
      {"newer, kept expired", &new_live, kept7_expired, "fetched+keep"},
      {"same release", &same, kept7, "fetched"},
      {"same serial, other payload", &same_serial_other, kept7, "kept"},
      {"same serial, other payload, kept expired", &same_serial_other, kept7_expired, "fetched"},
      {"rollback", &old_live, kept7, "kept"},
      {"rollback, kept expired", &old_live, kept7_expired, rollback},
      {"rollback, kept off the rules", &old_live, kept7_off_rules, rollback},
      {"newer, kept off the rules", &new_live, kept7_off_rules, "fetched+keep"},
      {"fetched expired, kept stands in", &new_expired, kept7, "kept"},
      {"fetched expiring at the clock", &new_at_the_clock, kept7, "kept"},
      {"fetched expired, nothing kept", &new_expired, nothing, expired},
      {"rollback, expired too", &old_expired, kept7_expired, expired},
      {"outage", nullptr, kept7, "kept"},
      {"outage, kept expired", nullptr, kept7_expired, outage.message},
      {"outage, kept expiring at the clock", nullptr, kept7_at_the_clock, outage.message},
      {"outage, nothing kept", nullptr, nothing, outage.message},
      {"kept unreadable", &old_live, KeptManifest{File::kUnreadable}, "fetched"},
      {"kept signed by no configured key", &old_live, KeptManifest{File::kRead}, "fetched+keep"},
      // The offline grace: the kept one past its expiry when no host answered.
      {"outage, kept expired within the grace", nullptr, kept7_expired, "kept+past", 1},
      {"outage, grace ending at the clock", nullptr, kept7_expired, "kept+past", 1, 1000 + day},
      {"outage, grace ended a second ago", nullptr, kept7_expired, expired, 1, 1000 + day + 1},
      {"outage, kept unexpired under a grace", nullptr, kept7, "kept", 1},
      {"outage, kept off the rules under a grace", nullptr, kept7_off_rules, outage.message, 1},
      {"outage, nothing kept under a grace", nullptr, nothing, outage.message, 1},
      {"rollback, kept within the grace", &old_live, kept7_expired, "kept+past", 1},
      {"rollback, past the grace", &old_live, kept7_expired, expired, 1, 1000 + day + 1},
      {"fetched expired, kept within the grace", &new_expired, kept7_expired, "kept+past", 1},
      {"fetched expired within a grace, nothing kept", &new_expired, nothing, expired, 1},
      {"newer, kept within the grace", &new_live, kept7_expired, "fetched+keep", 1},
      {"same serial, other payload, kept within the grace", &same_serial_other, kept7_expired,
       "fetched", 1},
  };
  for (const Case& c : cases) {
    const Result<ManifestChoice> choice =
        choose_manifest(c.fetched, c.kept, c.at, outage, c.grace_days);
    const std::string got = !choice ? choice.message()
                                    : std::string(manifest_source_name(choice->source)) +
                                          (choice->replaces_kept ? "+keep" : "") +
                                          (choice->past_expiry ? "+past" : "");
    EXPECT_EQ(got, c.expected) << c.name;
  }
}

}  // namespace
}  // namespace quarvel
