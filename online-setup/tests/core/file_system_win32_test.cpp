// The Windows file seam against real files: a file another handle holds
// without sharing fails with its system error code, so the contention retry can
// recognise it; a file opened denying writes stays as it is; a hidden file is
// replaced by a truncating write and stays hidden.
#include <windows.h>

#include <gtest/gtest.h>

#include "core/file_system.h"
#include "core/sha256.h"
#include "core/wide_win32.h"
#include "release/package_verification.h"
#include "support/temp_directory.h"

namespace quarvel {
namespace {

using testing_support::TempDirectory;

TEST(FileSystemOnWindows, AFileHeldWithoutSharingFailsWithTheSharingViolationCode) {
  TempDirectory directory;
  FileSystem& files = system_file_system();
  const std::string path = directory.path("held.exe");
  ASSERT_TRUE(replace_file_contents(files, path, "package").ok());
  const HANDLE holder = CreateFileW(win32::widen(path).c_str(), GENERIC_READ, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  EXPECT_EQ(files.open_read(path).failure().system_error, 32u);
  EXPECT_EQ(files.rename_replacing(path, directory.path("moved.exe")).failure().system_error, 32u);
  EXPECT_EQ(files.remove_file(path).failure().system_error, 32u);
  const ReleaseManifest manifest{sha256_hex("package"), "", "held.exe", 31, 7};
  const Result<bool> verified = verify_package(files, path, manifest);
  ASSERT_FALSE(verified.ok());
  EXPECT_TRUE(verified.message().ends_with("(os error 32)")) << verified.message();
  CloseHandle(holder);
  EXPECT_TRUE(verify_package(files, path, manifest).value());
}

// A package held for its checks can still be read by others, but not
// written, renamed or deleted until it is closed.
TEST(FileSystemOnWindows, AFileOpenedDenyingWritesIsReadableButNotChangeable) {
  TempDirectory directory;
  FileSystem& files = system_file_system();
  const std::string path = directory.path("package.exe");
  ASSERT_TRUE(replace_file_contents(files, path, "package").ok());
  auto held = files.open_read_deny_write(path);
  ASSERT_TRUE(held.ok()) << held.message();
  EXPECT_TRUE(files.open_read(path).ok());
  EXPECT_EQ(files.open_write(path, WriteMode::kAppend).failure().system_error, 32u);
  EXPECT_EQ(files.rename_replacing(path, directory.path("moved.exe")).failure().system_error, 32u);
  EXPECT_EQ(files.remove_file(path).failure().system_error, 32u);
  held.value().reset();
  EXPECT_TRUE(files.remove_file(path).ok());
}

// The cache folder's lock: a file held without sharing refuses every other
// opening, by another spelling of its path too, until it is let go.
TEST(FileSystemOnWindows, AFileHeldExclusivelyRefusesEveryOtherOpeningUntilLetGo) {
  TempDirectory directory;
  FileSystem& files = system_file_system();
  auto held = files.hold_exclusively(directory.path("installer.lock"));
  ASSERT_TRUE(held.ok()) << held.message();
  const std::string other_spelling = directory.text() + "\\.\\INSTALLER.LOCK";
  EXPECT_EQ(files.hold_exclusively(other_spelling).failure().system_error, 32u);
  EXPECT_EQ(files.open_read(other_spelling).failure().system_error, 32u);
  held.value().reset();
  EXPECT_TRUE(files.hold_exclusively(other_spelling).ok());
}

// Windows refuses CREATE_ALWAYS with FILE_ATTRIBUTE_NORMAL on a hidden file;
// Wine does not, so under Wine this shows that the replacement works and keeps
// the caller's attribute, not that the refusal is avoided.
TEST(FileSystemOnWindows, ATruncatingWriteReplacesAHiddenFile) {
  TempDirectory directory;
  FileSystem& files = system_file_system();
  const std::string path = directory.path("report.json");
  ASSERT_TRUE(replace_file_contents(files, path, "{\"status\": \"complete\"}").ok());
  ASSERT_TRUE(SetFileAttributesW(win32::widen(path).c_str(), FILE_ATTRIBUTE_HIDDEN));
  const Status replaced = replace_file_contents(files, path, "{}");
  ASSERT_TRUE(replaced.ok()) << replaced.message();
  EXPECT_EQ(files.file_size(path), 2u);
  EXPECT_NE(GetFileAttributesW(win32::widen(path).c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
}

}  // namespace
}  // namespace quarvel
