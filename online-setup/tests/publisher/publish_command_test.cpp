#include "publisher/publish_command.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <nlohmann/json.hpp>

#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/base64.h"
#include "core/sha256.h"
#include "publisher/manifest_signer.h"
#include "publisher/manifest_signing.h"
#include "release/chunk_map.h"
#include "release/release_manifest.h"
#include "release/signed_manifest.h"
#include "support/fake_clock.h"
#include "support/memory_file_system.h"

namespace quarvel {
namespace {

using testing_support::MemoryFileSystem;

constexpr char kHost[] = "packages.quarvel.test";
constexpr char kManifest[] = "out\\latest.json";
constexpr char kChunkMap[] = "out\\Quarvel-1.4-b31-Windows-x64-Setup.exe.chunks";
constexpr char kPath[] = "/downloads/quarvel/1.4.2/Quarvel-1.4-b31-Windows-x64-Setup.exe";

struct Outcome {
  int code;
  std::string out;
  std::string err;
};

class PublishCommand : public testing::Test {
 protected:
  PublishCommand() { files.files["pkg.exe"] = std::string(1'048'577, 'q'); }

  // The command line of build 31 (1.4.2, shown as 1.4), with replacements.
  std::vector<std::string> arguments(const std::string& option = "",
                                     const std::string& value = "") {
    std::vector<std::string> line{"pkg.exe", "--version", "1.4.2", "--display-version",
                                  "1.4",     "--build",   "31",    "--package-host",
                                  kHost,     "--out",     "out"};
    for (size_t i = 0; i + 1 < line.size(); ++i) {
      if (line[i] == option)
        line[i + 1] = value;
    }
    return line;
  }

  Outcome run(const std::vector<std::string>& line) {
    std::ostringstream out, err;
    const int code = run_publish(line, files, clock, out, err);
    return {code, out.str(), err.str()};
  }

  // Only the package is there: nothing written, no folder made.
  void expect_nothing_written() {
    EXPECT_EQ(files.files.size(), 1u);
    EXPECT_TRUE(files.directories.empty());
  }

  MemoryFileSystem files;
  testing_support::FixedWallClock clock{133932528000000000};  // 2025-06-01T12:00:00Z
};

TEST_F(PublishCommand, WritesACompactManifestTheInstallerAcceptsAndPrintsTheUploadPath) {
  const Outcome outcome = run(arguments());
  ASSERT_EQ(outcome.code, 0) << outcome.err;
  const std::string path = kPath;
  EXPECT_EQ(outcome.out, path + "\n" + path + ".chunks\n");
  EXPECT_EQ(outcome.err, "");
  const std::string digest = sha256_hex(files.files["pkg.exe"]);
  EXPECT_EQ(
      files.files[kManifest],
      "{\"build\":31,\"bytes\":1048577,\"channel\":\"cef-offline\",\"displayVersion\":\"1.4\","
      "\"platform\":\"windows-x64\",\"product\":\"quarvel\",\"schema\":1,\"sha256\":\"" +
          digest + "\",\"url\":\"https://packages.quarvel.test" + path +
          "\",\"version\":\"1.4.2\"}");
  const Result<ReleaseManifest> accepted = parse_release_manifest(files.files[kManifest], kHost);
  ASSERT_TRUE(accepted) << accepted.message();
  EXPECT_EQ(accepted->sha256, digest);
  // The chunk map of the package beside it, as the installer reads it.
  const Result<ChunkMap> map =
      decode_chunk_map(files.files[kChunkMap], 1'048'577, *digest_from_hex(digest));
  ASSERT_TRUE(map) << map.message();
  EXPECT_EQ(map->chunks.size(), 5u)
      << "one byte repeated: four chunks of the largest size, one byte";
  EXPECT_EQ(files.files.size(), 3u) << "no temporary file is left";
}

TEST_F(PublishCommand, RefusesWhatTheInstallerWouldRefuseWithItsMessageAndWritesNothing) {
  struct Case {
    std::string option, value, message;
  };
  const std::vector<Case> cases{
      {"--version", "1.2", "版本格式无效"},
      {"--display-version", "1.4.0000000000000", "公开版本无效"},  // 17 bytes
      {"--build", "26", "在线安装需要内部构建 27 或更新版本"},
      {"--build", "3l", "在线安装需要内部构建 27 或更新版本"},
      {"--version", "1.4." + std::string(70'000, '2'), "版本信息过大"},
      {"--package-host", "packages.quarvel.test/mirror", "下载主机无效"},
      {"--package-host", "packages.quarvel.test:443", "下载主机无效"},
      {"--package-host", "", "下载主机无效"},
      {"--package-host", "-packages.quarvel.test", "下载主机无效"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.option + " " + c.value.substr(0, 40));
    const Outcome outcome = run(arguments(c.option, c.value));
    EXPECT_EQ(outcome.code, 1);
    EXPECT_EQ(outcome.err, c.message + "\n");
    EXPECT_EQ(outcome.out, "");
    expect_nothing_written();
  }
  files.files["pkg.exe"].pop_back();  // 1,048,576 bytes
  EXPECT_EQ(run(arguments()).err, "安装包大小无效\n");
  expect_nothing_written();
}

// The temporary file has a new name of its own: another one (of another run,
// say) is never overwritten or removed, and on failure only its own goes.
TEST_F(PublishCommand, FileProblemsFailWithTheirTextAndRemoveOnlyTheRunsOwnFile) {
  files.files["out\\latest.json.tmp"] = "another run's";
  files.writes_before_failure = 0;  // writing the first temporary file (the map's) fails
  EXPECT_EQ(run(arguments()).err, files.failure_text + "\n");
  EXPECT_EQ(files.files.size(), 2u);

  files.writes_before_failure = -1;
  files.unwritable.insert(kManifest);  // the manifest's final rename fails
  const Outcome outcome = run(arguments());
  EXPECT_EQ(outcome.code, 1);
  EXPECT_EQ(outcome.err, files.failure_text + "\n");
  EXPECT_EQ(files.files.size(), 3u) << "the map, written first, stays";

  files.unwritable.clear();
  files.names_taken = 15;  // the last of 16 names is free
  ASSERT_EQ(run(arguments()).code, 0);
  EXPECT_EQ(files.files.size(), 4u);
  EXPECT_EQ(files.files["out\\latest.json.tmp"], "another run's");
  files.names_taken = 16;
  EXPECT_EQ(run(arguments()).err, "The file exists. (os error 80)\n");

  files.files.erase("pkg.exe");
  EXPECT_EQ(run(arguments()).err, "cannot open the package: pkg.exe\n");
}

// The key in PEM: the pair (PKCS#8), or its public key alone.
std::string pem_of(EVP_PKEY* key, bool public_only) {
  BIO* bio = BIO_new(BIO_s_mem());
  if (public_only)
    PEM_write_bio_PUBKEY(bio, key);
  else
    PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
  char* data = nullptr;
  const long length = BIO_get_mem_data(bio, &data);
  std::string pem(data, static_cast<size_t>(length));
  BIO_free(bio);
  return pem;
}

// A new EC key pair on the curve: the pair and its public key, in PEM.
std::pair<std::string, std::string> new_key_pems(const char* curve = "P-256") {
  EVP_PKEY* key = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", curve);
  std::pair<std::string, std::string> pems{pem_of(key, false), pem_of(key, true)};
  EVP_PKEY_free(key);
  return pems;
}

class SignedPublication : public PublishCommand {
 protected:
  SignedPublication() {
    std::tie(files.files["old.pem"], files.files["old.pub.pem"]) = new_key_pems();
    files.files["new.pem"] = new_key_pems().first;
  }
  // The keys of those files, as an installer would be built with them.
  ManifestKey key(const std::string& path) {
    signers.push_back(ManifestSigner::load(files, path).value());
    return {signers.back().id(), signers.back().point()};
  }
  nlohmann::json payload() {
    const nlohmann::json outer = nlohmann::json::parse(files.files[kManifest]);
    return nlohmann::json::parse(*base64_decode(outer["signed"].get<std::string>()));
  }
  std::vector<ManifestSigner> signers;
};

TEST_F(SignedPublication, OneSignaturePerKeyOverAPayloadWithSerialAndExpiry) {
  std::vector<std::string> line = arguments();
  line.insert(line.end(), {"--signing-key", "old.pem", "--signing-key", "new.pem"});
  const Outcome outcome = run(line);
  ASSERT_EQ(outcome.code, 0) << outcome.err;
  EXPECT_EQ(outcome.out, std::string(kPath) + "\n" + kPath +
                             ".chunks\n"
                             "serial=1748779200 expires=2025-07-01T12:00:00Z\n");
  EXPECT_EQ(payload()["serial"], 1748779200);
  EXPECT_EQ(payload()["expires"], "2025-07-01T12:00:00Z");
  // The payload alone names the chunk map.
  const std::string& map = files.files[kChunkMap];
  EXPECT_EQ(payload()["chunks"],
            (nlohmann::json{{"bytes", map.size()}, {"sha256", sha256_hex(map)}}));
  EXPECT_FALSE(nlohmann::json::parse(files.files[kManifest]).contains("chunks"));
  // Installers without keys read the outer members; each key alone is
  // enough for an installer that trusts it, so a key can be rotated.
  EXPECT_TRUE(parse_release_manifest(files.files[kManifest], kHost));
  for (const char* path : {"old.pem", "new.pem"}) {
    const std::array<ManifestKey, 1> keys{key(path)};
    EXPECT_TRUE(accept_signed_manifest(files.files[kManifest], kHost,
                                       {27, keys, &system_manifest_verifier()}))
        << path;
  }
}

TEST_F(SignedPublication, TheSerialFollowsTheClockAndAlwaysPassesTheLastOne) {
  // (now, earlier serial) -> serial
  const std::vector<std::tuple<int64_t, std::optional<uint64_t>, std::optional<uint64_t>>> cases{
      {1748779200, std::nullopt, 1748779200},
      {1748779200, 5, 1748779200},
      {1748779200, 1748779200, 1748779201},
      {1748779200, 1900000000, 1900000001},
      {-5, std::nullopt, 1},
      {0, UINT64_MAX, std::nullopt}};
  for (const auto& [now, earlier, serial] : cases)
    EXPECT_EQ(next_serial(now, earlier), serial) << now;

  std::vector<std::string> line = arguments();
  line.insert(line.end(), {"--signing-key", "old.pem"});
  ASSERT_EQ(run(line).code, 0);
  ASSERT_EQ(run(line).code, 0) << "published again within the second";
  EXPECT_EQ(payload()["serial"], 1748779201);
  clock.file_time -= 864'000'000'000;  // a publishing machine whose clock is a day behind
  ASSERT_EQ(run(line).code, 0);
  EXPECT_EQ(payload()["serial"], 1748779202);
}

TEST_F(SignedPublication, ReSigningKeepsTheReleaseAndNeedsNoPackage) {
  std::vector<std::string> line = arguments();
  line.insert(line.end(), {"--signing-key", "old.pem"});
  ASSERT_EQ(run(line).code, 0);
  const nlohmann::json first = payload();
  files.files.erase("pkg.exe");
  files.files["copy.json"] = files.files[kManifest];
  clock.file_time += 36'000'000'000;  // an hour later
  // A rotation: signed with the new key, taken up on the word of the old one.
  const Outcome outcome =
      run({"--resign", "copy.json", "--package-host", kHost, "--out", "out", "--signing-key",
           "new.pem", "--expires-in", "7", "--previous-key", "old.pub.pem"});
  ASSERT_EQ(outcome.code, 0) << outcome.err;
  EXPECT_EQ(outcome.out, std::string(kPath) + "\nserial=1748782800 expires=2025-06-08T13:00:00Z\n");
  nlohmann::json second = payload();
  EXPECT_EQ(second["serial"], 1748782800);
  EXPECT_EQ(second["expires"], "2025-06-08T13:00:00Z");
  for (const char* member : {"serial", "expires"}) {
    second.erase(member);
  }
  nlohmann::json release = first;
  release.erase("serial");
  release.erase("expires");
  EXPECT_EQ(second, release) << "the chunk map's member too";
}

// Re-signing makes the vendor's key sign what it is given: only a payload that
// a given key signed is taken up, and only such a payload's serial counts.
TEST_F(SignedPublication, OnlyAVerifiedPayloadIsReSignedOrSetsTheSerial) {
  std::vector<std::string> line = arguments();
  line.insert(line.end(), {"--signing-key", "old.pem"});
  ASSERT_EQ(run(line).code, 0);
  nlohmann::json unsigned_28 = nlohmann::json::parse(files.files[kManifest]);
  unsigned_28.erase("signed");
  unsigned_28["build"] = 28;
  files.files["unsigned.json"] = unsigned_28.dump();
  files.files["signed.json"] = files.files[kManifest];
  for (const auto& [file, key, refusal] : std::vector<std::array<std::string, 3>>{
           {"unsigned.json", "old.pem", "版本信息未签名，无法确认来源"},
           {"signed.json", "new.pem", "版本信息的签名密钥不受信任"}}) {
    const Outcome outcome = run(
        {"--resign", file, "--package-host", kHost, "--out", "elsewhere", "--signing-key", key});
    EXPECT_EQ(outcome.err, "cannot re-sign " + file + ": " + refusal + "\n");
    EXPECT_FALSE(files.files.count("elsewhere\\latest.json"));
  }
  // An unsigned latest.json planted in the output folder sets no serial; a
  // signed one more than a year ahead of the clock stops the publication.
  unsigned_28["serial"] = 18446744073709551614u;
  files.files[kManifest] = unsigned_28.dump();
  ASSERT_EQ(run(line).code, 0);
  EXPECT_EQ(payload()["serial"], 1748779200);
  clock.file_time -= 366 * 864'000'000'000;  // this machine's clock a year and a day behind
  EXPECT_EQ(
      run(line).err,
      "the earlier serial 1748779200 is more than a year ahead of the clock "
      "(2024-05-31T12:00:00Z): check this machine's clock and the manifest that carries it\n");
  clock.file_time += 864'000'000'000;  // a year behind
  EXPECT_EQ(run(line).code, 0);
}

TEST_F(SignedPublication, KeysOtherThanP256AndBadSigningLinesAreRefused) {
  files.files["p384.pem"] = new_key_pems("P-384").first;
  files.files["public.pem"] = "-----BEGIN PUBLIC KEY-----\n-----END PUBLIC KEY-----\n";
  for (const auto& [path, problem] : std::vector<std::pair<std::string, std::string>>{
           {"p384.pem",
            " is not a P-256 (prime256v1) key: the manifest is signed with ECDSA "
            "P-256 only"},
           {"public.pem", " is not an unencrypted PEM private key"}}) {
    std::vector<std::string> line = arguments();
    line.insert(line.end(), {"--signing-key", "old.pem", "--signing-key", path});
    EXPECT_EQ(run(line).err, path + problem + "\n");
  }
  std::vector<std::string> unsigned_expiry = arguments(), long_expiry = arguments();
  unsigned_expiry.insert(unsigned_expiry.end(), {"--expires-in", "7"});
  long_expiry.insert(long_expiry.end(), {"--signing-key", "old.pem", "--expires-in", "366"});
  const std::vector<std::pair<std::vector<std::string>, std::string>> usage{
      {{"--resign", "m.json", "--package-host", kHost, "--out", "out"}, "missing: --signing-key"},
      {{"--resign", "m.json", "pkg.exe", "--build", "31", "--package-host", kHost, "--out", "out",
        "--signing-key", "old.pem"},
       "--resign takes no --build PACKAGE"},
      {unsigned_expiry, "--expires-in needs --signing-key"},
      {{"pkg.exe", "--version", "1.4.2", "--display-version", "1.4", "--build", "31",
        "--package-host", kHost, "--out", "out", "--previous-key", "old.pub.pem"},
       "--previous-key needs --signing-key"},
      {long_expiry, "--expires-in takes 1 to 365 days, not 366"},
  };
  for (const auto& [line, problem] : usage) {
    const Outcome outcome = run(line);
    EXPECT_EQ(outcome.code, 2);
    EXPECT_EQ(outcome.err, "quarvel-publish: " + problem + "\n" + kPublishUsage + "\n");
  }
  EXPECT_FALSE(files.files.count(kManifest));
}

// A file whose reads return more than its measured size (this process's
// status, measured as 0 bytes) is still changing: it is refused.
TEST_F(PublishCommand, APackageThatChangesWhileItIsReadIsRefused) {
  std::vector<std::string> line = arguments();
  line[0] = "/proc/self/status";
  std::ostringstream out, err;
  EXPECT_EQ(run_publish(line, system_file_system(), clock, out, err), 1);
  EXPECT_TRUE(err.str().starts_with("the package changed while it was read (0 bytes measured, "))
      << err.str();
}

// What an installer holding an earlier release fetches to upgrade: the
// package of one repeated byte is four chunks of 256 KiB and one byte; the
// earlier one differs in its second chunk.
TEST_F(PublishCommand, ComparedWithAnEarlierMapItPrintsWhatAnUpgradeFetches) {
  ASSERT_EQ(run(arguments()).code, 0);
  files.files["old.chunks"] = files.files[kChunkMap];
  files.files["pkg.exe"][300'000] = 'r';
  std::vector<std::string> line = arguments();
  line.insert(line.end(), {"--compare-with", "old.chunks"});
  const Outcome outcome = run(line);
  ASSERT_EQ(outcome.code, 0) << outcome.err;
  EXPECT_TRUE(outcome.out.ends_with(
      ".chunks\nupgrade from old.chunks: fetch=262144 (24.99%) ranges=1 copy=786433\n"))
      << outcome.out;

  files.files.erase("out\\latest.json");
  for (const auto& [file, reason] : std::vector<std::pair<std::string, std::string>>{
           {"pkg.exe", "安装包的分块清单无效"},
           {"missing.chunks", "The system cannot find the file specified. (os error 2)"}}) {
    line.back() = file;
    const Outcome refused = run(line);
    EXPECT_EQ(refused.code, 1);
    EXPECT_EQ(refused.err,
              "cannot read the chunk map to compare with: " + file + ": " + reason + "\n");
  }
  EXPECT_FALSE(files.files.count("out\\latest.json")) << "nothing written";
}

TEST_F(PublishCommand, AMalformedCommandLineShowsTheUsageAndWritesNothing) {
  std::vector<std::string> no_out = arguments();
  no_out.resize(no_out.size() - 2);
  std::vector<std::string> repeated = arguments();
  repeated.insert(repeated.end(), {"--build", "32"});
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
      {no_out, "missing: --out"},
      {{}, "missing: --version --display-version --build --package-host --out PACKAGE"},
      {repeated, "repeated option --build"},
      {{"pkg.exe", "--quiet"}, "unknown option --quiet"},
      {{"pkg.exe", "other.exe"}, "more than one package: other.exe"},
      {{"pkg.exe", "--out"}, "no value after --out"},
      {{"--resign", "latest.json", "--package-host", kHost, "--out", "out", "--signing-key",
        "k.pem", "--compare-with", "old.chunks"},
       "--resign takes no --compare-with"},
  };
  for (const auto& [line, problem] : cases) {
    SCOPED_TRACE(problem);
    const Outcome outcome = run(line);
    EXPECT_EQ(outcome.code, 2);
    EXPECT_EQ(outcome.err, "quarvel-publish: " + problem + "\n" + kPublishUsage + "\n");
  }
  expect_nothing_written();
}

}  // namespace
}  // namespace quarvel
