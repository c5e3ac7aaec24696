#include "main/service_account.h"

#include <gtest/gtest.h>

namespace quarvel {
namespace {

// The folders given on a command line, and whether a service account may go ahead with them.
struct FolderCase {
  ArgumentList arguments;
  bool goes_ahead;
};

const FolderCase kFolderCases[] = {
    {{"p", "--quiet"}, false},
    {{"p", "--quiet", "--install-dir", "C:\\Apps\\Quarvel"}, false},
    {{"p", "--quiet", "--cache-dir", "C:\\Cache"}, false},
    {{"p", "--quiet", "--install-dir", "C:\\Apps\\Quarvel", "--cache-dir", "C:\\Cache"}, true},
    {{"p", "--install-dir", "C:\\Apps\\Quarvel", "--cache-dir", "C:\\Cache"}, true},
    {{"p", "--quiet", "--install-dir", "C:\\Apps\\Quarvel", "--cache-dir", ""}, false},
    {{"p", "--quiet", "--install-dir", "", "--cache-dir", "C:\\Cache"}, false},
    {{"p", "--quiet", "--install-dir", "C:\\Apps\\Quarvel", "--cache-dir"}, false},
    {{"p", "--download-only"}, false},
    {{"p", "--download-only", "--install-dir", "C:\\Apps\\Quarvel"}, false},
    {{"p", "--download-only", "--cache-dir", "C:\\Cache"}, true},
    {{"p", "--download-only", "--show-ui", "--cache-dir", "C:\\Cache"}, true},
};

TEST(ServiceAccount, EachAccountGoesAheadOnlyWithFoldersOutsideItsProfile) {
  const auto install = service_account_refusal(ProcessAccount::kLocalSystem, {"p", "--quiet"});
  const auto download =
      service_account_refusal(ProcessAccount::kLocalSystem, {"p", "--download-only"});
  ASSERT_TRUE(install && download);
  EXPECT_NE(install->find("--install-dir 和 --cache-dir"), std::string_view::npos);
  EXPECT_EQ(download->find("--install-dir"), std::string_view::npos);
  for (const FolderCase& c : kFolderCases) {
    const std::string line = ::testing::PrintToString(c.arguments);
    EXPECT_EQ(service_account_refusal(ProcessAccount::kUser, c.arguments), std::nullopt) << line;
    const auto expected = c.goes_ahead                                 ? std::nullopt
                          : has_switch(c.arguments, "--download-only") ? download
                                                                       : install;
    for (const ProcessAccount account :
         {ProcessAccount::kLocalSystem, ProcessAccount::kLocalService,
          ProcessAccount::kNetworkService}) {
      EXPECT_EQ(service_account_refusal(account, c.arguments), expected)
          << static_cast<int>(account) << " " << line;
    }
  }
}

}  // namespace
}  // namespace quarvel
