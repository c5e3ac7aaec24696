#include "core/paths.h"

#include <gtest/gtest.h>

namespace quarvel {
namespace {

TEST(JoinPath, InsertsASeparatorUnlessOneEndsTheLeftPart) {
  EXPECT_EQ(join_path("C:\\Users\\u\\AppData\\Local", "Quarvel/Installer"),
            "C:\\Users\\u\\AppData\\Local\\Quarvel/Installer");
  EXPECT_EQ(join_path("D:\\", "Quarvel"), "D:\\Quarvel");
  EXPECT_EQ(join_path("D:/x/", "a.part"), "D:/x/a.part");
  EXPECT_EQ(join_path("", "name"), "name");
}

}  // namespace
}  // namespace quarvel
