#include "release/release_manifest.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "support/fixtures.h"

namespace quarvel {
namespace {

using testing_support::MemberEdit;
using testing_support::read_fixture;
using testing_support::with_members;

constexpr char kHost[] = "packages.quarvel.test";
constexpr char kValidUrl[] =
    "https://packages.quarvel.test/downloads/quarvel/1.4.2/Quarvel-1.4-b31-Windows-x64-Setup.exe";
constexpr char kDigest[] = "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";

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

std::string valid_manifest() {
  return read_fixture("manifests/valid.json");
}

// The "url" member as a JSON literal: the package host's layout with the
// given version directory and file name.
MemberEdit url(const std::string& version, const std::string& file_name) {
  return {"url",
          "\"https://packages.quarvel.test/downloads/quarvel/" + version + "/" + file_name + "\""};
}

// The "url" member for the package name of this public version and build.
MemberEdit url_for(const std::string& display_version, const std::string& build) {
  return url("1.4.2", "Quarvel-" + display_version + "-b" + build + "-Windows-x64-Setup.exe");
}

MemberEdit literal(const std::string& key, const std::string& json) {
  return {key, json};
}

MemberEdit text(const std::string& key, const std::string& value) {
  return {key, "\"" + value + "\""};
}

MemberEdit missing(const std::string& key) {
  return {key, std::nullopt};
}

std::string repeat(const std::string& piece, size_t times) {
  std::string out;
  for (size_t i = 0; i < times; ++i)
    out += piece;
  return out;
}

// Checks a result: accepted when message is nullptr, else exactly that message.
void expect_outcome(const Result<ReleaseManifest>& result, const char* message) {
  if (message == nullptr) {
    EXPECT_TRUE(result.ok()) << result.message();
  } else {
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.message(), message);
  }
}

// One variant of the valid manifest: its edits and the expected outcome
// (message nullptr: accepted, with build and bytes as given when set).
struct ManifestCase {
  const char* name;
  std::vector<MemberEdit> edits;
  const char* message;
  std::optional<uint64_t> build = std::nullopt;
  std::optional<uint64_t> bytes = std::nullopt;
};

std::string case_name(const testing::TestParamInfo<ManifestCase>& info) {
  return info.param.name;
}

class ManifestRule : public testing::TestWithParam<ManifestCase> {};

TEST_P(ManifestRule, GivesItsOutcome) {
  const ManifestCase& c = GetParam();
  const Result<ReleaseManifest> result =
      parse_release_manifest(with_members(valid_manifest(), c.edits), kHost);
  expect_outcome(result, c.message);
  if (result.ok() && c.build)
    EXPECT_EQ(result->build, *c.build);
  if (result.ok() && c.bytes)
    EXPECT_EQ(result->bytes, *c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Build,
    ManifestRule,
    testing::Values(
        ManifestCase{"Is26", {literal("build", "26"), url_for("1.4", "26")}, kBuildTooOld},
        ManifestCase{"Is27", {literal("build", "27"), url_for("1.4", "27")}, nullptr, 27},
        ManifestCase{"FractionIsFloat",
                     {literal("build", "27.0"), url_for("1.4", "27")},
                     kBuildTooOld},
        ManifestCase{"ExponentIsFloat",
                     {literal("build", "2.7e1"), url_for("1.4", "27")},
                     kBuildTooOld},
        ManifestCase{"WholeExponentIsFloat", {literal("build", "31e0")}, kBuildTooOld},
        ManifestCase{"String", {text("build", "27"), url_for("1.4", "27")}, kBuildTooOld},
        ManifestCase{"Negative", {literal("build", "-31")}, kBuildTooOld},
        ManifestCase{
            "LargestUnsigned",
            {literal("build", "18446744073709551615"), url_for("1.4", "18446744073709551615")},
            nullptr,
            std::numeric_limits<uint64_t>::max()},
        ManifestCase{
            "BeyondUnsignedIsFloat",
            {literal("build", "18446744073709551616"), url_for("1.4", "18446744073709551616")},
            kBuildTooOld},
        ManifestCase{"Null", {literal("build", "null")}, kBuildTooOld},
        ManifestCase{"Boolean", {literal("build", "true")}, kBuildTooOld},
        ManifestCase{"Missing", {missing("build")}, kBuildTooOld}),
    case_name);

INSTANTIATE_TEST_SUITE_P(
    Bytes,
    ManifestRule,
    testing::Values(
        ManifestCase{"OneMebibyte", {literal("bytes", "1048576")}, kBadSize},
        ManifestCase{"OneMebibytePlusOne", {literal("bytes", "1048577")}, nullptr, 31, 1048577},
        ManifestCase{"FourGibibytesMinusOne",
                     {literal("bytes", "4294967295")},
                     nullptr,
                     31,
                     4294967295},
        ManifestCase{"FourGibibytes", {literal("bytes", "4294967296")}, kBadSize},
        ManifestCase{"Zero", {literal("bytes", "0")}, kBadSize},
        ManifestCase{"FractionIsFloat", {literal("bytes", "1048577.0")}, kBadSize},
        ManifestCase{"ExponentIsFloat", {literal("bytes", "1.048577e6")}, kBadSize},
        ManifestCase{"String", {text("bytes", "123456789")}, kBadSize},
        ManifestCase{"Negative", {literal("bytes", "-123456789")}, kBadSize},
        ManifestCase{"BeyondUnsignedIsFloat", {literal("bytes", "18446744073709551616")}, kBadSize},
        ManifestCase{"Missing", {missing("bytes")}, kBadSize}),
    case_name);

INSTANTIATE_TEST_SUITE_P(
    Version,
    ManifestRule,
    testing::Values(ManifestCase{"TwoParts", {text("version", "1.2")}, kBadVersion},
                    ManifestCase{"FourParts", {text("version", "1.2.3.4")}, kBadVersion},
                    ManifestCase{"DoubleDot", {text("version", "1..3")}, kBadVersion},
                    ManifestCase{"LeadingDot", {text("version", ".1.2")}, kBadVersion},
                    ManifestCase{"TrailingDot", {text("version", "1.2.")}, kBadVersion},
                    ManifestCase{"TrailingBlank", {text("version", "1.2.3 ")}, kBadVersion},
                    ManifestCase{"Empty", {text("version", "")}, kBadVersion},
                    ManifestCase{"Letters", {text("version", "1.4.2a")}, kBadVersion},
                    ManifestCase{"Sign", {text("version", "1.-4.2")}, kBadVersion},
                    ManifestCase{"FullWidthDigit", {text("version", "１.4.2")}, kBadVersion},
                    ManifestCase{"LeadingZeros",
                                 {text("version", "01.002.3"),
                                  url("01.002.3", "Quarvel-1.4-b31-Windows-x64-Setup.exe")},
                                 nullptr},
                    ManifestCase{
                        "LongRuns",
                        {text("version", "123456789012345678901.0.0"),
                         url("123456789012345678901.0.0", "Quarvel-1.4-b31-Windows-x64-Setup.exe")},
                        nullptr},
                    ManifestCase{"Number", {literal("version", "1.4")}, kNoVersion},
                    ManifestCase{"Array", {literal("version", "[1, 4, 2]")}, kNoVersion},
                    ManifestCase{"Missing", {missing("version")}, kNoVersion}),
    case_name);

INSTANTIATE_TEST_SUITE_P(
    Digest,
    ManifestRule,
    testing::Values(
        ManifestCase{"MixedCase",
                     {text("sha256", std::string(32, 'A') + std::string(32, 'b'))},
                     nullptr},
        ManifestCase{"SixtyThreeDigits", {text("sha256", std::string(63, 'a'))}, kNoDigest},
        ManifestCase{"SixtyFiveDigits", {text("sha256", std::string(65, 'a'))}, kNoDigest},
        ManifestCase{"LetterG", {text("sha256", std::string(63, 'a') + "g")}, kNoDigest},
        ManifestCase{"Blank", {text("sha256", std::string(63, 'a') + " ")}, kNoDigest},
        ManifestCase{"SixtyFourBytesNotAscii", {text("sha256", repeat("é", 32))}, kNoDigest},
        ManifestCase{"Number", {literal("sha256", "1234")}, kNoDigest},
        ManifestCase{"Missing", {missing("sha256")}, kNoDigest}),
    case_name);

INSTANTIATE_TEST_SUITE_P(
    Address,
    ManifestRule,
    testing::Values(
        ManifestCase{"PlainHttp",
                     {text("url",
                           "http://packages.quarvel.test/downloads/quarvel/1.4.2/"
                           "Quarvel-1.4-b31-Windows-x64-Setup.exe")},
                     kForeignAddress},
        ManifestCase{"UpperCaseScheme",
                     {text("url",
                           "HTTPS://packages.quarvel.test/downloads/quarvel/1.4.2/"
                           "Quarvel-1.4-b31-Windows-x64-Setup.exe")},
                     kForeignAddress},
        ManifestCase{"OtherHost",
                     {text("url",
                           "https://download.quarvel.test/downloads/quarvel/1.4.2/"
                           "Quarvel-1.4-b31-Windows-x64-Setup.exe")},
                     kForeignAddress},
        ManifestCase{"HostAsPrefixOfAnother",
                     {text("url",
                           "https://packages.quarvel.test.example/downloads/quarvel/1.4.2/"
                           "Quarvel-1.4-b31-Windows-x64-Setup.exe")},
                     kForeignAddress},
        ManifestCase{"UserInformation",
                     {text("url",
                           "https://packages.quarvel.test@example.test/downloads/quarvel/"
                           "1.4.2/Quarvel-1.4-b31-Windows-x64-Setup.exe")},
                     kForeignAddress},
        ManifestCase{"Port",
                     {text("url",
                           "https://packages.quarvel.test:443/downloads/quarvel/1.4.2/"
                           "Quarvel-1.4-b31-Windows-x64-Setup.exe")},
                     kForeignAddress},
        ManifestCase{"UpperCaseDirectory",
                     {text("url",
                           "https://packages.quarvel.test/Downloads/quarvel/1.4.2/"
                           "Quarvel-1.4-b31-Windows-x64-Setup.exe")},
                     kForeignAddress},
        ManifestCase{"OtherVersionDirectory",
                     {url("1.4.3", "Quarvel-1.4-b31-Windows-x64-Setup.exe")},
                     kForeignAddress},
        ManifestCase{"ExtraDirectory",
                     {url("1.4.2", "extra/Quarvel-1.4-b31-Windows-x64-Setup.exe")},
                     kForeignAddress},
        ManifestCase{"Query",
                     {url("1.4.2", "Quarvel-1.4-b31-Windows-x64-Setup.exe?x=1")},
                     kForeignAddress},
        ManifestCase{"QueryBeforeSuffix",
                     {url("1.4.2", "Quarvel-1.4-b31?-Windows-x64-Setup.exe")},
                     kForeignAddress},
        ManifestCase{"Fragment",
                     {url("1.4.2", "Quarvel-1.4-b31#-Windows-x64-Setup.exe")},
                     kForeignAddress},
        ManifestCase{"PercentEscape",
                     {url("1.4.2", "Quarvel-1.4%2Db31-Windows-x64-Setup.exe")},
                     kForeignAddress},
        ManifestCase{"Blank",
                     {url("1.4.2", "Quarvel-1.4 b31-Windows-x64-Setup.exe")},
                     kForeignAddress},
        ManifestCase{"Backslash",
                     {url("1.4.2", "Quarvel-1.4\\\\b31-Windows-x64-Setup.exe")},
                     kForeignAddress},
        ManifestCase{"NotAscii",
                     {url("1.4.2", "Quarvel-1.4é-b31-Windows-x64-Setup.exe")},
                     kForeignAddress},
        ManifestCase{"EmptyFileName", {url("1.4.2", "")}, kForeignAddress},
        ManifestCase{"NoVersionDirectory",
                     {text("url", "https://packages.quarvel.test/downloads/quarvel/")},
                     kForeignAddress},
        ManifestCase{"LowerCaseNamePrefix",
                     {url("1.4.2", "quarvel-1.4-b31-Windows-x64-Setup.exe")},
                     kForeignAddress},
        ManifestCase{"OtherSuffix",
                     {url("1.4.2", "Quarvel-1.4-b31-Windows-x64-Setup.msi")},
                     kForeignAddress},
        ManifestCase{"SuffixAlone", {url("1.4.2", "-Windows-x64-Setup.exe")}, kForeignAddress},
        ManifestCase{"UnderscoreIsAllowedSoTheNameRuleDecides",
                     {url("1.4.2", "Quarvel-1.4_b31-Windows-x64-Setup.exe")},
                     kNameMismatch},
        ManifestCase{"Number", {literal("url", "31")}, kNoAddress},
        ManifestCase{"Null", {literal("url", "null")}, kNoAddress},
        ManifestCase{"Missing", {missing("url")}, kNoAddress}),
    case_name);

INSTANTIATE_TEST_SUITE_P(
    DisplayVersion,
    ManifestRule,
    testing::Values(
        ManifestCase{
            "SixteenBytes",
            {text("displayVersion", "1234567890.23456"), url_for("1234567890.23456", "31")},
            nullptr},
        ManifestCase{
            "SeventeenBytes",
            {text("displayVersion", "1234567890.234567"), url_for("1234567890.234567", "31")},
            kBadDisplayVersion},
        ManifestCase{"Empty", {text("displayVersion", ""), url_for("", "31")}, kBadDisplayVersion},
        ManifestCase{"Letter",
                     {text("displayVersion", "1.4a"), url_for("1.4a", "31")},
                     kBadDisplayVersion},
        ManifestCase{"Dash",
                     {text("displayVersion", "1-4"), url_for("1-4", "31")},
                     kBadDisplayVersion},
        ManifestCase{"DotsOnly", {text("displayVersion", "..."), url_for("...", "31")}, nullptr},
        ManifestCase{"Number", {literal("displayVersion", "1.4")}, kBadDisplayVersion},
        ManifestCase{"Missing", {missing("displayVersion")}, kBadDisplayVersion}),
    case_name);

INSTANTIATE_TEST_SUITE_P(
    FileName,
    ManifestRule,
    testing::Values(ManifestCase{"BuildWithLeadingZero", {url_for("1.4", "031")}, kNameMismatch},
                    ManifestCase{"OtherBuild", {literal("build", "32")}, kNameMismatch},
                    ManifestCase{"OtherPublicVersion", {url_for("1.5", "31")}, kNameMismatch},
                    ManifestCase{"UpperCaseBuildMarker",
                                 {url("1.4.2", "Quarvel-1.4-B31-Windows-x64-Setup.exe")},
                                 kNameMismatch},
                    ManifestCase{"BuildTwice",
                                 {url("1.4.2", "Quarvel-1.4-b31-b31-Windows-x64-Setup.exe")},
                                 kNameMismatch}),
    case_name);

INSTANTIATE_TEST_SUITE_P(
    Package,
    ManifestRule,
    testing::Values(ManifestCase{"SchemaTwo", {literal("schema", "2")}, kWrongPackage},
                    ManifestCase{"SchemaString", {text("schema", "1")}, kWrongPackage},
                    ManifestCase{"SchemaFloat", {literal("schema", "1.0")}, kWrongPackage},
                    ManifestCase{"SchemaMinusOne", {literal("schema", "-1")}, kWrongPackage},
                    ManifestCase{"SchemaLargestUnsigned",
                                 {literal("schema", "18446744073709551615")},
                                 kWrongPackage},
                    ManifestCase{"SchemaMissing", {missing("schema")}, kWrongPackage},
                    ManifestCase{"ProductLetterCase", {text("product", "Quarvel")}, kWrongPackage},
                    ManifestCase{"ProductNumber", {literal("product", "1")}, kWrongPackage},
                    ManifestCase{"PlatformOther", {text("platform", "windows-x86")}, kWrongPackage},
                    ManifestCase{"PlatformMissing", {missing("platform")}, kWrongPackage},
                    ManifestCase{"ChannelBlank", {text("channel", "cef-offline ")}, kWrongPackage},
                    ManifestCase{"ChannelMissing", {missing("channel")}, kWrongPackage}),
    case_name);

// Several rules broken at once: the earliest step decides.
INSTANTIATE_TEST_SUITE_P(
    Order,
    ManifestRule,
    testing::Values(
        ManifestCase{"BuildBeforeBytes",
                     {literal("build", "26"), literal("bytes", "0")},
                     kBuildTooOld},
        ManifestCase{"BytesBeforeProduct",
                     {literal("bytes", "1048576"), text("product", "Quarvel")},
                     kBadSize},
        ManifestCase{"BytesBeforeVersion", {literal("bytes", "1"), missing("version")}, kBadSize},
        ManifestCase{"VersionBeforeDigest",
                     {text("version", "1.4"), missing("sha256")},
                     kBadVersion},
        ManifestCase{"DigestBeforeAddress", {text("sha256", "00"), missing("url")}, kNoDigest},
        ManifestCase{
            "AddressBeforeDisplayVersion",
            {url("1.4.3", "Quarvel-1.4-b31-Windows-x64-Setup.exe"), missing("displayVersion")},
            kForeignAddress},
        ManifestCase{"DisplayVersionBeforeName",
                     {text("displayVersion", "x"), url_for("1.5", "32")},
                     kBadDisplayVersion},
        ManifestCase{"NameBeforeSchema",
                     {url_for("1.4", "031"), literal("schema", "2")},
                     kNameMismatch},
        ManifestCase{
            "OnlyThePackageRulesLeft",
            {missing("schema"), missing("product"), missing("platform"), missing("channel")},
            kWrongPackage}),
    case_name);

TEST(ReleaseManifest, ValidManifestFillsTheRecord) {
  const Result<ReleaseManifest> result = parse_release_manifest(valid_manifest(), kHost);
  ASSERT_TRUE(result.ok()) << result.message();
  EXPECT_EQ(result->sha256, kDigest);
  EXPECT_EQ(result->url, kValidUrl);
  EXPECT_EQ(result->file_name, "Quarvel-1.4-b31-Windows-x64-Setup.exe");
  EXPECT_EQ(result->build, 31u);
  EXPECT_EQ(result->bytes, 123456789u);
}

TEST(ReleaseManifest, UpperCaseDigestIsFoldedToLowerCase) {
  const Result<ReleaseManifest> result =
      parse_release_manifest(read_fixture("manifests/valid-upper-case-digest.json"), kHost);
  ASSERT_TRUE(result.ok()) << result.message();
  EXPECT_EQ(result->sha256, kDigest);
}

TEST(ReleaseManifest, AddressMustBeOnTheGivenPackageHost) {
  EXPECT_EQ(parse_release_manifest(valid_manifest(), "download.quarvel.app").message(),
            kForeignAddress);
}

struct FixtureCase {
  const char* file;
  const char* message;
};

class ManifestFixture : public testing::TestWithParam<FixtureCase> {};

TEST_P(ManifestFixture, GivesItsOutcome) {
  const Result<ReleaseManifest> result =
      parse_release_manifest(read_fixture(std::string("manifests/") + GetParam().file), kHost);
  expect_outcome(result, GetParam().message);
  if (result.ok()) {
    EXPECT_EQ(result->build, 31u);
    EXPECT_EQ(result->url, kValidUrl);
  }
}

INSTANTIATE_TEST_SUITE_P(Documents,
                         ManifestFixture,
                         testing::Values(FixtureCase{"valid.json", nullptr},
                                         FixtureCase{"white-space-around.json", nullptr},
                                         FixtureCase{"other-keys-and-escapes.json", nullptr},
                                         FixtureCase{"duplicate-build-last-valid.json", nullptr},
                                         FixtureCase{"duplicate-build-last-too-old.json",
                                                     kBuildTooOld},
                                         FixtureCase{"byte-order-mark.json", kParseFailed},
                                         FixtureCase{"text-after-object.json", kParseFailed},
                                         FixtureCase{"invalid-utf-8.json", kParseFailed},
                                         FixtureCase{"top-level-array.json", kBuildTooOld},
                                         FixtureCase{"empty-object.json", kBuildTooOld},
                                         FixtureCase{"size-and-product-wrong.json", kBadSize}),
                         [](const testing::TestParamInfo<FixtureCase>& info) {
                           std::string name;
                           for (const char* c = info.param.file; *c != '.'; ++c) {
                             if (*c != '-')
                               name += *c;
                           }
                           return name;
                         });

// A body that is not one JSON text fails the parse; the valid manifest with
// the "releaseNotes" member (ignored by every rule) written as given.
struct BodyCase {
  const char* name;
  std::string body;
  const char* message;
};

std::string notes(const std::string& json) {
  return with_members(valid_manifest(), {literal("releaseNotes", json)});
}

// Arrays nested to the given depth, around a value.
std::string nested(size_t depth, const std::string& inner = "") {
  return std::string(depth, '[') + inner + std::string(depth, ']');
}

class ManifestBody : public testing::TestWithParam<BodyCase> {};

TEST_P(ManifestBody, GivesItsOutcome) {
  expect_outcome(parse_release_manifest(GetParam().body, kHost), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Parse,
    ManifestBody,
    testing::Values(BodyCase{"Empty", "", kParseFailed},
                    BodyCase{"OnlyWhiteSpace", " \r\n\t", kParseFailed},
                    BodyCase{"ByteOrderMarkAlone", "\xEF\xBB\xBF", kParseFailed},
                    BodyCase{"ByteOrderMarkBeforeEmptyObject", "\xEF\xBB\xBF{}", kParseFailed},
                    BodyCase{"NulAfterObject", std::string("{}\0", 3), kParseFailed},
                    BodyCase{"NulThenTextAfterManifest", valid_manifest() + std::string("\0x", 2),
                             kParseFailed},
                    BodyCase{"FormFeedAfterObject", "{}\f", kParseFailed},
                    BodyCase{"NoBreakSpaceAfterObject", "{}\xC2\xA0", kParseFailed},
                    BodyCase{"SecondDocument", "{}{}", kParseFailed},
                    BodyCase{"Comment", "{} // done", kParseFailed},
                    BodyCase{"TrailingComma", "{\"build\": 31,}", kParseFailed},
                    BodyCase{"UnquotedKey", "{build: 31}", kParseFailed},
                    BodyCase{"TruncatedValidManifest", valid_manifest().substr(0, 200),
                             kParseFailed},
                    BodyCase{"LoneSurrogateEscape", notes("\"\\ud800\""), kParseFailed},
                    BodyCase{"OverlongEncoding", notes("\"\xC0\xAF\""), kParseFailed},
                    BodyCase{"EncodedSurrogate", notes("\"\xED\xA0\x80\""), kParseFailed},
                    BodyCase{"BeyondUnicode", notes("\"\xF4\x90\x80\x80\""), kParseFailed},
                    BodyCase{"RawControlCharacter", notes("\"a\tb\""), kParseFailed},
                    BodyCase{"FloatOutOfRange", notes("1e400"), kParseFailed},
                    BodyCase{"PairedSurrogateEscapes", notes("\"\\ud83d\\ude00\""), nullptr},
                    BodyCase{"FourByteCharacter", notes("\"\xF0\x9F\x98\x80\""), nullptr},
                    BodyCase{"Null", "null", kBuildTooOld},
                    BodyCase{"Number", "31", kBuildTooOld},
                    BodyCase{"String", "\"build\"", kBuildTooOld},
                    BodyCase{"EmptyArray", "[]", kBuildTooOld}),
    [](const testing::TestParamInfo<BodyCase>& info) { return std::string(info.param.name); });

// Depth counts every array and object open at once, the top-level one included.
INSTANTIATE_TEST_SUITE_P(
    Nesting,
    ManifestBody,
    testing::Values(BodyCase{"ArraysAtLevel127", nested(127), kBuildTooOld},
                    BodyCase{"ArraysAtLevel128", nested(128), kParseFailed},
                    BodyCase{"ObjectsAtLevel127",
                             repeat("{\"a\":", 127) + "1" + std::string(127, '}'), kBuildTooOld},
                    BodyCase{"ObjectsAtLevel128",
                             repeat("{\"a\":", 128) + "1" + std::string(128, '}'), kParseFailed},
                    BodyCase{"MemberAtLevel127", notes(nested(126, "1")), nullptr},
                    BodyCase{"MemberAtLevel128", notes(nested(127, "1")), kParseFailed},
                    BodyCase{"HundredThousandOpenArrays", std::string(100000, '['), kParseFailed},
                    BodyCase{"HundredThousandClosedArrays", nested(100000), kParseFailed}),
    [](const testing::TestParamInfo<BodyCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quarvel
