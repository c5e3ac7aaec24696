#include "release/package_verification.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "core/os_error.h"
#include "core/sha256.h"
#include "support/fixtures.h"
#include "support/memory_file_system.h"
#include "support/temp_directory.h"

namespace quarvel {
namespace {

using testing_support::TempDirectory;

FileSystem& files() {
  return system_file_system();
}

// Bytes that differ from position to position, so a moved or lost piece shows.
std::string package_bytes(size_t size) {
  std::string bytes(size, '\0');
  uint32_t state = 0x12345678;
  for (char& b : bytes) {
    state = state * 1664525u + 1013904223u;
    b = static_cast<char>(state >> 24);
  }
  return bytes;
}

ReleaseManifest manifest_for(const std::string& bytes) {
  ReleaseManifest manifest;
  manifest.bytes = bytes.size();
  manifest.sha256 = sha256_hex(bytes);
  return manifest;
}

void write_file(const std::string& path, const std::string& bytes) {
  ASSERT_TRUE(replace_file_contents(files(), path, bytes).ok());
}

// More than three read buffers, the last one partly filled.
const std::string kPackage = package_bytes(3 * 65536 + 100);

// The package on disk after one change; the manifest always describes kPackage.
struct DiskCase {
  const char* name;
  int size_change;                     // -1: last byte cut off, +1: one byte added
  std::optional<size_t> flipped_byte;  // this position's bits inverted
  bool expected;
};

class VerifyPackageOnDisk : public testing::TestWithParam<DiskCase> {};

TEST_P(VerifyPackageOnDisk, AnswersWhetherTheFileMatches) {
  const DiskCase& c = GetParam();
  std::string on_disk = kPackage;
  if (c.size_change < 0)
    on_disk.pop_back();
  if (c.size_change > 0)
    on_disk.push_back('\0');
  if (c.flipped_byte)
    on_disk[*c.flipped_byte] = static_cast<char>(~on_disk[*c.flipped_byte]);
  TempDirectory directory;
  const std::string path = directory.path("Quarvel-1.4-b31-Windows-x64-Setup.exe");
  write_file(path, on_disk);

  const Result<bool> result = verify_package(files(), path, manifest_for(kPackage));
  ASSERT_TRUE(result.ok()) << result.message();
  EXPECT_EQ(*result, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Files,
    VerifyPackageOnDisk,
    testing::Values(DiskCase{"ExactMatch", 0, std::nullopt, true},
                    DiskCase{"OneByteShort", -1, std::nullopt, false},
                    DiskCase{"OneByteLong", +1, std::nullopt, false},
                    DiskCase{"FirstByteFlipped", 0, 0, false},
                    DiskCase{"LastByteOfFirstBufferFlipped", 0, 65535, false},
                    DiskCase{"FirstByteOfSecondBufferFlipped", 0, 65536, false},
                    DiskCase{"LastByteFlipped", 0, kPackage.size() - 1, false}),
    [](const testing::TestParamInfo<DiskCase>& info) { return std::string(info.param.name); });

// Only a file or folder that is not there is a "no"; a file that cannot be
// opened for any other reason is a failure with its text, so that no caller
// takes it for a wrong file (and deletes it).
TEST(VerifyPackage, OnlyAMissingFileIsFalseOtherOpenFailuresAreMessages) {
  TempDirectory directory;
  write_file(directory.path("present.exe"), kPackage);
  for (const std::string name : {"absent.exe", "absent\\p.exe", "present.exe\\p.exe"}) {
    const Result<bool> result =
        verify_package(files(), directory.path(name), manifest_for(kPackage));
    ASSERT_TRUE(result.ok()) << name << ": " << result.message();
    EXPECT_FALSE(*result) << name;
  }
  testing_support::MemoryFileSystem memory;
  memory.files["C:\\cache\\p.exe"] = kPackage;
  memory.unopenable.insert("C:\\cache\\p.exe");
  memory.failure_text = "Insufficient system resources exist. (os error 1450)";
  const Result<bool> unopenable =
      verify_package(memory, "C:\\cache\\p.exe", manifest_for(kPackage));
  ASSERT_FALSE(unopenable.ok());
  EXPECT_EQ(unopenable.message(), memory.failure_text);
}

// A file another process holds is no wrong file: the open failure is the
// answer, with its code, so that the caller can wait and ask again.
TEST(VerifyPackage, HeldFileIsTheOpenFailureNotFalse) {
  testing_support::MemoryFileSystem memory;
  memory.files["C:\\cache\\p.exe"] = kPackage;
  memory.held["C:\\cache\\p.exe"] = {.calls = 1};
  const Result<bool> held = verify_package(memory, "C:\\cache\\p.exe", manifest_for(kPackage));
  ASSERT_FALSE(held.ok());
  EXPECT_EQ(held.message(), testing_support::MemoryFileSystem::kSharingViolation);
  EXPECT_EQ(held.failure().system_error, 32u);
  const Result<bool> released = verify_package(memory, "C:\\cache\\p.exe", manifest_for(kPackage));
  ASSERT_TRUE(released.ok()) << released.message();
  EXPECT_TRUE(*released);
}

TEST(VerifyPackage, EmptyFileMatchesTheDigestOfNothing) {
  TempDirectory directory;
  write_file(directory.path("empty.exe"), "");
  const Result<bool> result =
      verify_package(files(), directory.path("empty.exe"), manifest_for(""));
  ASSERT_TRUE(result.ok()) << result.message();
  EXPECT_TRUE(*result);
}

TEST(VerifyPackage, ManifestWithUpperCaseDigestVerifies) {
  const std::string package = package_bytes(1048577);
  std::string upper = sha256_hex(package);
  for (char& c : upper)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const Result<ReleaseManifest> manifest = parse_release_manifest(
      testing_support::with_members(
          testing_support::read_fixture("manifests/valid.json"),
          {{"bytes", std::to_string(package.size())}, {"sha256", "\"" + upper + "\""}}),
      "packages.quarvel.test");
  ASSERT_TRUE(manifest.ok()) << manifest.message();
  TempDirectory directory;
  write_file(directory.path(manifest->file_name), package);

  const Result<bool> result =
      verify_package(files(), directory.path(manifest->file_name), *manifest);
  ASSERT_TRUE(result.ok()) << result.message();
  EXPECT_TRUE(*result);
}

// A directory opens for reading natively, with a size, but every read fails.
// Windows refuses to open it with access denied, which is also what another
// process's hold can cause: the answer is then that open failure, not false.
TEST(VerifyPackage, DirectoryIsAReadFailureOrCannotBeOpened) {
  TempDirectory directory;
  const std::string path = directory.text();
  ReleaseManifest manifest = manifest_for(kPackage);
  manifest.bytes = files().file_size(path).value_or(0);
  const Result<bool> result = verify_package(files(), path, manifest);
  if (const auto opened = files().open_read(path); !opened.ok()) {
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.message(), opened.message());
    EXPECT_EQ(result.failure().system_error, 5u);
    GTEST_SKIP() << "directories cannot be opened for reading here: " << opened.message();
  }
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.message(), system_error_text(21));
  EXPECT_TRUE(result.message().ends_with(" (os error 21)")) << result.message();

  // Of another size, it is never read: the answer is false, not the read failure.
  manifest.bytes += 1;
  const Result<bool> other_size = verify_package(files(), path, manifest);
  ASSERT_TRUE(other_size.ok()) << other_size.message();
  EXPECT_FALSE(*other_size);
}

// The memory of the reading process opens with size 0, but reading its first
// page fails (Linux natively, and Wine on Linux, which maps the Unix path).
TEST(VerifyPackage, DeviceWhoseReadsFailGivesTheSystemErrorText) {
  const std::string path = "/proc/self/mem";
  if (!files().open_read(path).ok())
    GTEST_SKIP() << path << " cannot be opened here";
  ReleaseManifest manifest = manifest_for("");
  const Result<bool> result = verify_package(files(), path, manifest);
  ASSERT_FALSE(result.ok());
  const std::string& text = result.message();
  const size_t code_at = text.rfind(" (os error ");
  ASSERT_NE(code_at, std::string::npos) << text;
  const uint32_t code = static_cast<uint32_t>(std::stoul(text.substr(code_at + 11)));
  EXPECT_NE(code, 0u);
  EXPECT_EQ(text, system_error_text(code));
}

}  // namespace
}  // namespace quarvel
