#include "main/service_account.h"

#include <gtest/gtest.h>

namespace quarvel {
namespace {

TEST(ServiceAccount, EachServiceAccountGoesAheadOnlyWithAbsoluteFoldersOutsideItsProfile) {
  const char* install = "--install-dir 和 --cache-dir";  // what each message asks for
  const char* cache = "或用 --cache-dir";
  const std::pair<ArgumentList, const char*> cases[] = {
      {{"p", "--quiet"}, install},
      {{"p", "--quiet", "--install-dir", "C:\\Apps"}, install},
      {{"p", "--quiet", "--cache-dir", "C:\\Cache"}, install},
      {{"p", "--install-dir", "C:\\Apps", "--cache-dir", "C:\\Cache"}, nullptr},
      {{"p", "--quiet", "--install-dir", "C:\\Apps", "--cache-dir", ""}, install},
      {{"p", "--quiet", "--install-dir", "", "--cache-dir", "C:\\Cache"}, install},
      {{"p", "--quiet", "--install-dir", "C:\\Apps", "--cache-dir"}, install},
      {{"p", "--quiet", "--install-dir", "C:\\Apps", "--cache-dir", "cache"}, install},
      {{"p", "--quiet", "--install-dir", "Apps", "--cache-dir", "C:\\Cache"}, install},
      {{"p", "--quiet", "--install-dir", "C:Apps", "--cache-dir", "\\\\server\\c"}, install},
      {{"p", "--quiet", "--install-dir", "\\Apps", "--cache-dir", "\\\\server\\c"}, install},
      {{"p", "--quiet", "--install-dir", "\\\\?\\D:\\A", "--cache-dir", "D:/"}, nullptr},
      {{"p", "--download-only", "--cache-dir", ".\\cache"}, cache},
      {{"p", "--download-only", "--install-dir", "C:\\Apps"}, cache},
      {{"p", "--download-only", "--show-ui", "--cache-dir", "C:\\Cache"}, nullptr},
  };
  for (const auto& [arguments, asks_for] : cases) {
    EXPECT_FALSE(service_account_refusal(ProcessAccount::kUser, arguments));
    for (const ProcessAccount account :
         {ProcessAccount::kLocalSystem, ProcessAccount::kLocalService,
          ProcessAccount::kNetworkService}) {
      const auto refusal = service_account_refusal(account, arguments);
      EXPECT_EQ(refusal.has_value(), asks_for != nullptr)
          << ::testing::PrintToString(arguments) << static_cast<int>(account);
      if (refusal && asks_for)
        EXPECT_NE(refusal->find(asks_for), std::string_view::npos) << *refusal;
    }
  }
}

}  // namespace
}  // namespace quarvel
