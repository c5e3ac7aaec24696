// The plan of copies and ranges from two chunk maps: one table of old and
// new packages, and a copy that failed being fetched instead.
#include "release/upgrade_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quarvel {
namespace {

constexpr uint64_t kKiB = 1024;
constexpr uint64_t k64 = 64 * kKiB;

// A package written as one character per chunk, the character naming its
// content: an upper-case letter is 64 KiB, a lower-case one 256 KiB, a digit
// 16 KiB.
std::vector<ChunkEntry> chunks_of(std::string_view package) {
  std::vector<ChunkEntry> chunks;
  uint64_t offset = 0;
  for (const char c : package) {
    const uint64_t length = c >= 'a' ? 256 * kKiB : c >= 'A' ? k64 : 16 * kKiB;
    chunks.push_back({offset, static_cast<uint32_t>(length), ChunkDigest{static_cast<uint8_t>(c)}});
    offset += length;
  }
  return chunks;
}

UpgradeStep copy(uint64_t offset, uint64_t length, uint64_t base_offset) {
  return {true, offset, length, base_offset};
}

UpgradeStep fetch(uint64_t offset, uint64_t length) {
  return {false, offset, length, 0};
}

std::ostream& operator<<(std::ostream& out, const UpgradeStep& step) {
  return out << (step.copy ? "copy " : "fetch ") << step.offset << "+" << step.length
             << (step.copy ? " from " + std::to_string(step.base_offset) : "");
}

TEST(UpgradePlan, CopiesWhatTheBaseHasAndFetchesTheRestInFewRanges) {
  constexpr uint64_t k256 = 256 * kKiB;
  struct Case {
    const char* name;
    std::string base;
    std::string target;
    std::vector<UpgradeStep> plan;
    uint64_t from = 0;
  };
  const std::vector<Case> cases{
      {"the same package: one copy", "ABCDEFGHIJ", "ABCDEFGHIJ", {copy(0, 10 * k64, 0)}},
      {"one changed chunk",
       "ABCDEFGHIJ",
       "ABCDZFGHIJ",
       {copy(0, 4 * k64, 0), fetch(4 * k64, k64), copy(5 * k64, 5 * k64, 5 * k64)}},
      {"an inserted chunk: later chunks copied from where they lie in the base",
       "ABCDEF",
       "AB1CDEF",
       {copy(0, 2 * k64, 0), fetch(2 * k64, 16 * kKiB),
        copy(2 * k64 + 16 * kKiB, 4 * k64, 2 * k64)}},
      {"a deleted chunk",
       "ABCDEF",
       "ABDEF",
       {copy(0, 2 * k64, 0), copy(2 * k64, 3 * k64, 3 * k64)}},
      {"moved chunks: one copy per place in the base",
       "ABCD",
       "CDAB",
       {copy(0, 2 * k64, 2 * k64), copy(2 * k64, 2 * k64, 0)}},
      {"a gap of 128 KiB between two changes is fetched with them",
       "ABCDEF",
       "AYCDZF",
       {copy(0, k64, 0), fetch(k64, 4 * k64), copy(5 * k64, k64, 5 * k64)}},
      {"a larger gap is copied",
       "ABCDEFG",
       "AYCDEZG",
       {copy(0, k64, 0), fetch(k64, k64), copy(2 * k64, 3 * k64, 2 * k64), fetch(5 * k64, k64),
        copy(6 * k64, k64, 6 * k64)}},
      {"nothing shared: ranges of at most 8 MiB",
       "ABCD",
       std::string(40, 'z'),
       {fetch(0, 32 * k256), fetch(32 * k256, 8 * k256)}},
      {"no gap is fetched past 8 MiB",
       "A",
       std::string(31, 'z') + "Azz",
       {fetch(0, 31 * k256), copy(31 * k256, k64, 0), fetch(31 * k256 + k64, 2 * k256)}},
      {"from a resumed offset", "ABCD", "ZBCD", {copy(2 * k64, 2 * k64, 2 * k64)}, 2 * k64},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<ChunkEntry> target = chunks_of(c.target);
    EXPECT_EQ(plan_upgrade(target, chunks_of(c.base), c.from), c.plan);
  }
}

TEST(UpgradePlan, ACopyThatFailedIsFetchedAndItsBaseChunkNotOfferedAgain) {
  const std::vector<ChunkEntry> base = chunks_of("ABCD");
  const std::vector<ChunkEntry> target = chunks_of("ABCB");
  UpgradePlanner planner(target, base);
  EXPECT_EQ(planner.fetch_at(k64), fetch(k64, k64));
  planner.set_aside(k64);
  EXPECT_EQ(planner.step_at(k64), fetch(k64, 3 * k64))
      << "both places of that content, and the small gap between them";
  EXPECT_EQ(planner.step_at(2 * k64), copy(2 * k64, k64, 2 * k64));
  planner.drop_base();
  EXPECT_EQ(planner.step_at(0), fetch(0, 4 * k64));
  EXPECT_EQ(cost_of(plan_upgrade(chunks_of("ABCZ"), base)), (UpgradeCost{3 * k64, k64, 1}));
}

}  // namespace
}  // namespace quarvel
