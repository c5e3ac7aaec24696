#include "main/run_mode.h"

#include <gtest/gtest.h>

namespace quarvel {
namespace {

TEST(RunMode, ChoiceFollowsTheFirstRuleThatApplies) {
  EXPECT_EQ(choose_run_mode({"p"}), RunMode::kWindow);
  EXPECT_EQ(choose_run_mode({"p", "--quiet"}), RunMode::kHeadless);
  EXPECT_EQ(choose_run_mode({"p", "--download-only"}), RunMode::kHeadless);
  EXPECT_EQ(choose_run_mode({"p", "--quiet", "--show-ui"}), RunMode::kWindow);
  EXPECT_EQ(choose_run_mode({"p", "--show-ui", "--download-only"}), RunMode::kWindow);
  // The value of --install-dir is still an argument that the look-up sees.
  EXPECT_EQ(choose_run_mode({"p", "--install-dir", "--quiet"}), RunMode::kHeadless);
  EXPECT_EQ(choose_run_mode({"p", "--QUIET", "--quiet=1", "/quiet"}), RunMode::kWindow);
}

TEST(RunMode, HeadlessExitCodes) {
  EXPECT_EQ(headless_exit_code(true), 0);
  EXPECT_EQ(headless_exit_code(false), 1);
}

}  // namespace
}  // namespace quarvel
