#include "windows_ui/install_dir_rules.h"

#include <gtest/gtest.h>

namespace quarvel {
namespace {

TEST(CompleteInstallDir, AcceptsAbsoluteFolderPathsWithAPrefixARootAndAName) {
  for (const char* path :
       {"D:\\Quarvel", "d:/Quarvel", "D:\\Apps\\Quarvel\\", "D:\\Quarvel\\.", "D:\\a\\..\\Quarvel",
        "D:\\程序\\Quarvel", "\\\\server\\share\\Quarvel", "//server/share/Quarvel",
        "\\\\?\\D:\\Quarvel", "\\\\?\\UNC\\server\\share\\Quarvel", "\\\\.\\pipe\\x"}) {
    EXPECT_TRUE(is_complete_install_dir(path)) << path;
  }
}

TEST(CompleteInstallDir, RejectsRelativePathsRootsAndPathsEndingInDotDot) {
  for (const char* path : {"",
                           "Quarvel",
                           ".\\Quarvel",
                           "..\\Quarvel",
                           "D:",
                           "D:Quarvel",
                           "D:Apps\\Quarvel",
                           "\\Quarvel",
                           "/Quarvel",
                           "D:\\",
                           "D:/",
                           "D:\\\\",
                           "D:\\.",
                           "D:\\..",
                           "D:\\Quarvel\\..",
                           "\\\\server",
                           "\\\\server\\share",
                           "\\\\server\\share\\",
                           "\\\\?\\D:\\",
                           "\\\\?\\UNC\\server\\share",
                           "1:\\Quarvel"}) {
    EXPECT_FALSE(is_complete_install_dir(path)) << path;
  }
}

TEST(QuarvelFolder, IsAppendedUnlessTheLastComponentAlreadyIsQuarvel) {
  const struct {
    const char* chosen;
    const char* expected;
  } cases[] = {
      {"D:\\Apps", "D:\\Apps\\Quarvel"},
      {"D:\\", "D:\\Quarvel"},
      {"D:\\apps\\quarvel", "D:\\apps\\quarvel"},
      {"D:\\QUARVEL", "D:\\QUARVEL"},
      {"D:\\Quarvel\\", "D:\\Quarvel\\"},
      {"D:\\Quarvels", "D:\\Quarvels\\Quarvel"},
      {"D:\\Quarvel\\..", "D:\\Quarvel\\..\\Quarvel"},
      {"\\\\server\\share", "\\\\server\\share\\Quarvel"},
      {"\\\\server\\Quarvel", "\\\\server\\Quarvel\\Quarvel"},  // the share is no folder name
      {"D:\\Qυarvel", "D:\\Qυarvel\\Quarvel"},                  // only ASCII case folds
  };
  for (const auto& c : cases)
    EXPECT_EQ(with_quarvel_folder(c.chosen), c.expected) << c.chosen;
}

}  // namespace
}  // namespace quarvel
