#include "main/process_account_win32.h"

#include <gtest/gtest.h>

namespace quarvel {
namespace {

// A program started by a person (here, by Wine) runs as an ordinary account.
TEST(ProcessAccount, AnOrdinaryProcessIsAUser) {
  EXPECT_EQ(win32::process_account(), ProcessAccount::kUser);
}

}  // namespace
}  // namespace quarvel
