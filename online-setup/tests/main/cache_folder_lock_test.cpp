#include "main/cache_folder_lock.h"

#include <gtest/gtest.h>

#include "support/fake_clock.h"
#include "support/memory_file_system.h"

namespace quarvel {
namespace {

using testing_support::FakeClock;
using testing_support::MemoryFileSystem;

struct CacheLock : testing::Test {
  CacheFolderLock lock(const Result<std::string>& cache_dir = std::string("C:\\Cache")) {
    return lock_cache_folder(files, {clock, pause, {}}, cache_dir);
  }
  MemoryFileSystem files;
  FakeClock clock;
  const std::atomic<bool> pause{false};
  const std::string lock_path = "C:\\Cache\\installer.lock";
};

TEST_F(CacheLock, TheFolderIsMadeAndHeldUntilTheLockGoes) {
  CacheFolderLock first = lock();
  EXPECT_EQ(first.state, CacheLockState::kHeld);
  EXPECT_EQ(files.directories.count("C:\\Cache"), 1u);
  EXPECT_EQ(files.held_exclusively.count(lock_path), 1u);
  const CacheFolderLock second = lock();
  EXPECT_EQ(second.state, CacheLockState::kHeldElsewhere);
  EXPECT_EQ(clock.time, std::chrono::milliseconds(3100)) << "a scanner's hold is waited out";
  first.file.reset();
  EXPECT_EQ(lock().state, CacheLockState::kHeld);
}

TEST_F(CacheLock, WithoutAFolderToHoldTheRunGoesOnAndMeetsTheProblemItself) {
  EXPECT_EQ(lock(Failure{"本机用户目录不可用"}).state, CacheLockState::kNotTaken);
  files.unwritable.insert("C:\\Cache");  // the folder cannot be made
  EXPECT_EQ(lock().state, CacheLockState::kNotTaken);
  files.unwritable = {lock_path};  // a folder the user may only read
  EXPECT_EQ(lock().state, CacheLockState::kNotTaken);
  EXPECT_TRUE(files.held_exclusively.empty());
}

}  // namespace
}  // namespace quarvel
