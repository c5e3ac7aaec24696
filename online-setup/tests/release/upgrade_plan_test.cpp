// The plan of copies and ranges from two chunk maps: one table of old and
// new packages, and a copy that failed being fetched instead.
#include "release/upgrade_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quarvel {
namespace {

constexpr uint32_t kKiB = 1024;

// A chunk of `length` bytes whose content is named by `id`.
struct Piece {
  uint32_t length;
  int id;
};

std::vector<ChunkEntry> chunks_of(const std::vector<Piece>& pieces) {
  std::vector<ChunkEntry> chunks;
  uint64_t offset = 0;
  for (const Piece& piece : pieces) {
    ChunkDigest digest{};
    digest[0] = static_cast<uint8_t>(piece.id);
    digest[1] = static_cast<uint8_t>(piece.id >> 8);
    chunks.push_back({offset, piece.length, digest});
    offset += piece.length;
  }
  return chunks;
}

// `count` chunks of `length` bytes with ids from `first` on.
std::vector<Piece> run_of(int first, int count, uint32_t length = 64 * kKiB) {
  std::vector<Piece> pieces;
  for (int i = 0; i < count; ++i)
    pieces.push_back({length, first + i});
  return pieces;
}

std::vector<Piece> joined(std::initializer_list<std::vector<Piece>> parts) {
  std::vector<Piece> pieces;
  for (const std::vector<Piece>& part : parts)
    pieces.insert(pieces.end(), part.begin(), part.end());
  return pieces;
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

constexpr uint64_t k64 = 64 * kKiB;

TEST(UpgradePlan, CopiesWhatTheBaseHasAndFetchesTheRestInFewRanges) {
  struct Case {
    const char* name;
    std::vector<Piece> base;
    std::vector<Piece> target;
    std::vector<UpgradeStep> plan;
    uint64_t from = 0;
  };
  const std::vector<Case> cases{
      {"the same package: one copy", run_of(1, 10), run_of(1, 10), {copy(0, 10 * k64, 0)}},
      {"one changed chunk",
       run_of(1, 10),
       joined({run_of(1, 4), {{64 * kKiB, 100}}, run_of(6, 5)}),
       {copy(0, 4 * k64, 0), fetch(4 * k64, k64), copy(5 * k64, 5 * k64, 5 * k64)}},
      {"an inserted chunk: later chunks copied from where they lie in the base",
       run_of(1, 6),
       joined({run_of(1, 2), {{20 * kKiB, 100}}, run_of(3, 4)}),
       {copy(0, 2 * k64, 0), fetch(2 * k64, 20 * kKiB),
        copy(2 * k64 + 20 * kKiB, 4 * k64, 2 * k64)}},
      {"a deleted chunk",
       run_of(1, 6),
       joined({run_of(1, 2), run_of(4, 3)}),
       {copy(0, 2 * k64, 0), copy(2 * k64, 3 * k64, 3 * k64)}},
      {"moved chunks: one copy per place in the base",
       run_of(1, 4),
       joined({run_of(3, 2), run_of(1, 2)}),
       {copy(0, 2 * k64, 2 * k64), copy(2 * k64, 2 * k64, 0)}},
      {"a small gap between two changes is fetched with them",
       run_of(1, 6),
       joined({run_of(1, 1), {{64 * kKiB, 100}}, run_of(3, 2), {{64 * kKiB, 101}}, run_of(6, 1)}),
       {copy(0, k64, 0), fetch(k64, 4 * k64), copy(5 * k64, k64, 5 * k64)}},
      {"a larger gap is copied",
       run_of(1, 7),
       joined({run_of(1, 1), {{64 * kKiB, 100}}, run_of(3, 3), {{64 * kKiB, 101}}, run_of(7, 1)}),
       {copy(0, k64, 0), fetch(k64, k64), copy(2 * k64, 3 * k64, 2 * k64), fetch(5 * k64, k64),
        copy(6 * k64, k64, 6 * k64)}},
      {"nothing shared: ranges of at most 8 MiB",
       run_of(1, 4),
       run_of(100, 40, 256 * kKiB),
       {fetch(0, 8 * 1024 * kKiB), fetch(8 * 1024 * kKiB, 2 * 1024 * kKiB)}},
      {"no gap is fetched past 8 MiB",
       run_of(1, 1),
       joined({run_of(100, 31, 256 * kKiB), {{64 * kKiB, 1}}, run_of(200, 2, 256 * kKiB)}),
       {fetch(0, 31 * 256 * kKiB), copy(31 * 256 * kKiB, k64, 0),
        fetch(31 * 256 * kKiB + k64, 512 * kKiB)}},
      {"from a resumed offset",
       run_of(1, 4),
       joined({{{64 * kKiB, 100}}, run_of(2, 3)}),
       {copy(2 * k64, 2 * k64, 2 * k64)},
       2 * k64},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<ChunkEntry> base = chunks_of(c.base);
    const std::vector<ChunkEntry> target = chunks_of(c.target);
    const std::vector<UpgradeStep> plan = plan_upgrade(target, base, c.from);
    EXPECT_EQ(plan, c.plan);
    uint64_t covered = c.from;
    for (const UpgradeStep& step : plan) {
      EXPECT_EQ(step.offset, covered) << "steps follow each other";
      EXPECT_LE(step.length, kLargestFetchBytes) << (step.copy ? "" : "one range request");
      covered += step.length;
    }
    EXPECT_EQ(covered, target.back().offset + target.back().length);
  }
}

TEST(UpgradePlan, ACopyThatFailedIsFetchedAndItsBaseChunkNotOfferedAgain) {
  const std::vector<ChunkEntry> base = chunks_of(run_of(1, 4));
  const std::vector<ChunkEntry> target = chunks_of(joined({run_of(1, 3), run_of(2, 1)}));
  UpgradePlanner planner(target, base);
  EXPECT_EQ(planner.fetch_at(k64), fetch(k64, k64));
  planner.set_aside(k64);
  EXPECT_EQ(planner.step_at(k64), fetch(k64, 3 * k64))
      << "both places of that content, and the small gap between them";
  EXPECT_EQ(planner.step_at(2 * k64), copy(2 * k64, k64, 2 * k64));
  planner.drop_base();
  EXPECT_EQ(planner.step_at(0), fetch(0, 4 * k64));
  const std::vector<ChunkEntry> changed = chunks_of(joined({run_of(1, 3), run_of(9, 1)}));
  EXPECT_EQ(cost_of(plan_upgrade(changed, base)), (UpgradeCost{3 * k64, k64, 1}));
}

}  // namespace
}  // namespace quarvel
