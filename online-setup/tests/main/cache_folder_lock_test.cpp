#include "main/cache_folder_lock.h"

#include <gtest/gtest.h>

#include "support/fake_clock.h"
#include "support/memory_file_system.h"

namespace quarvel {
namespace {

TEST(CacheLock, TheFolderIsMadeAndHeldUntilTheLockGoesAndWithoutOneTheRunGoesOn) {
  testing_support::MemoryFileSystem files;
  testing_support::FakeClock clock;
  const std::atomic<bool> pause{false};
  const auto lock = [&](const Result<std::string>& folder = std::string("C:\\Cache")) {
    return lock_cache_folder(files, {clock, pause, {}}, folder);
  };
  CacheFolderLock first = lock();
  EXPECT_EQ(first.state, CacheLockState::kHeld);
  EXPECT_EQ(files.directories.count("C:\\Cache"), 1u);
  EXPECT_EQ(lock().state, CacheLockState::kHeldElsewhere);
  EXPECT_EQ(clock.time, std::chrono::milliseconds(3100)) << "a scanner's hold is waited out";
  first.file.reset();
  EXPECT_EQ(lock().state, CacheLockState::kHeld);
  // No folder, one that cannot be made, and one the user may only read: no lock.
  EXPECT_EQ(lock(Failure{"本机用户目录不可用"}).state, CacheLockState::kNotTaken);
  files.unwritable = {"C:\\Cache"};
  EXPECT_EQ(lock().state, CacheLockState::kNotTaken);
  files.unwritable = {"C:\\Cache\\installer.lock"};
  EXPECT_EQ(lock().state, CacheLockState::kNotTaken);
}

}  // namespace
}  // namespace quarvel
