// Reading the administrator's policy values: each value's type and range,
// the mirror names one by one, and the network log's account of them.
#include "runner/admin_policy.h"

#include <gtest/gtest.h>

#include <map>

namespace quarvel {
namespace {

using namespace std::string_literals;
using Names = std::vector<std::string>;

RegistryValue dword(uint32_t number) {
  return {4,
          {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8),
           static_cast<uint8_t>(number >> 16), static_cast<uint8_t>(number >> 24)}};
}

// UTF-16LE text as the registry stores it; `type` 7 is REG_MULTI_SZ, whose
// strings end with a NUL each and the list with one more.
RegistryValue text(uint32_t type, std::u16string units) {
  RegistryValue value{type, {}};
  for (const char16_t unit : units) {
    value.data.push_back(static_cast<uint8_t>(unit));
    value.data.push_back(static_cast<uint8_t>(unit >> 8));
  }
  return value;
}

RegistryValue multi(std::u16string strings) {
  return text(7, strings + u'\0');
}

struct TableSource final : PolicySource {
  std::map<std::string, RegistryValue, std::less<>> values;
  std::optional<RegistryValue> value(std::string_view name) override {
    const auto it = values.find(name);
    return it == values.end() ? std::nullopt : std::optional(it->second);
  }
};

struct Case {
  const char* name;
  std::map<std::string, RegistryValue, std::less<>> values;
  std::optional<uint32_t> max_download_kbps;
  Names package_hosts;
  Names release_hosts;
  std::optional<uint32_t> offline_grace_days;
  Names log_lines;
  friend void PrintTo(const Case& row, std::ostream* out) { *out << row.name; }
};

struct ReadingPolicies : testing::TestWithParam<Case> {};

TEST_P(ReadingPolicies, TakesWhatFitsAndNamesWhatIsIgnored) {
  TableSource source;
  source.values = GetParam().values;
  const AllowedHosts build{{"releases.quarvel.test"}, {"packages.quarvel.test"}};
  const AdminPolicy policy = read_admin_policy(source, build);
  EXPECT_EQ(policy.max_download_kbps, GetParam().max_download_kbps);
  EXPECT_EQ(policy.download_rate_cap(), uint64_t{GetParam().max_download_kbps.value_or(0)} * 1024);
  EXPECT_EQ(policy.package_hosts, GetParam().package_hosts);
  EXPECT_EQ(policy.release_hosts, GetParam().release_hosts);
  EXPECT_EQ(policy.offline_grace_days, GetParam().offline_grace_days);
  EXPECT_EQ(policy.log_lines, GetParam().log_lines);
}

INSTANTIATE_TEST_SUITE_P(
    Values,
    ReadingPolicies,
    testing::Values(
        Case{"NothingSet", {}, {}, {}, {}, {}, {}},
        Case{"EveryValueTaken",
             {{"MaxDownloadKBps", dword(2048)},
              {"PackageHosts", multi(u"mirror.corp.example\0Mirror-2.corp.example"s)},
              {"ReleaseHosts", multi(u" releases.corp.example\t"s)},
              {"OfflineGraceDays", dword(365)}},
             2048,
             {"mirror.corp.example", "Mirror-2.corp.example"},
             {"releases.corp.example"},
             365,
             {"policy MaxDownloadKBps=2048",
              "policy PackageHosts=mirror.corp.example,Mirror-2.corp.example",
              "policy ReleaseHosts=releases.corp.example", "policy OfflineGraceDays=365"}},
        Case{"ZeroCapAndNoGrace",
             {{"MaxDownloadKBps", dword(0)}, {"OfflineGraceDays", dword(0)}},
             0,
             {},
             {},
             0,
             {"policy MaxDownloadKBps=0", "policy OfflineGraceDays=0"}},
        Case{"LargestCap",
             {{"MaxDownloadKBps", dword(4294967295u)}},
             4294967295u,
             {},
             {},
             {},
             {"policy MaxDownloadKBps=4294967295"}},
        Case{"WrongTypesAndSizes",
             {{"MaxDownloadKBps", text(1, u"2048"s)},
              {"PackageHosts", text(1, u"mirror.corp.example"s)},
              {"ReleaseHosts", RegistryValue{7, {'m', 0, 0}}},
              {"OfflineGraceDays", RegistryValue{4, {7, 0}}}},
             {},
             {},
             {},
             {},
             {"policy MaxDownloadKBps ignored: REG_SZ is not REG_DWORD",
              "policy PackageHosts ignored: REG_SZ is not REG_MULTI_SZ",
              "policy ReleaseHosts ignored: REG_MULTI_SZ of an odd 3 bytes",
              "policy OfflineGraceDays ignored: REG_DWORD of 2 bytes"}},
        Case{"OtherTypesByName",
             {{"MaxDownloadKBps", RegistryValue{11, std::vector<uint8_t>(8)}},
              {"OfflineGraceDays", RegistryValue{12, {}}}},
             {},
             {},
             {},
             {},
             {"policy MaxDownloadKBps ignored: REG_QWORD is not REG_DWORD",
              "policy OfflineGraceDays ignored: type 12 is not REG_DWORD"}},
        Case{"GraceOutOfRange",
             {{"OfflineGraceDays", dword(366)}},
             {},
             {},
             {},
             {},
             {"policy OfflineGraceDays ignored: 366 is not within 0 to 365"}},
        Case{"MirrorNamesJudgedOneByOne",
             {{"PackageHosts",
               multi(u"mirror.corp.example:443\0m.corp.example\0\0M.CORP.EXAMPLE\0"s
                     u"Packages.Quarvel.Test\0bad\nname\0-m.corp.example\0https://m.example/"s)},
              {"ReleaseHosts", multi(u"packages.quarvel.test\0releases.quarvel.test"s)}},
             {},
             {"m.corp.example"},
             {"packages.quarvel.test"},
             {},
             {"policy PackageHosts: \"mirror.corp.example:443\" ignored, not a DNS host name",
              "policy PackageHosts: \"M.CORP.EXAMPLE\" ignored, named twice",
              "policy PackageHosts: \"Packages.Quarvel.Test\" ignored, a host of this build "
              "already",
              "policy PackageHosts: \"bad\\x0aname\" ignored, not a DNS host name",
              "policy PackageHosts: \"-m.corp.example\" ignored, not a DNS host name",
              "policy PackageHosts: \"https://m.example/\" ignored, not a DNS host name",
              "policy PackageHosts=m.corp.example",
              "policy ReleaseHosts: \"releases.quarvel.test\" ignored, a host of this build "
              "already",
              "policy ReleaseHosts=packages.quarvel.test"}},
        Case{"AtMostEightMirrorsAndNoTerminatorNeeded",
             {{"PackageHosts", text(7,
                                    u"m1.test\0m2.test\0m3.test\0m4.test\0m5.test\0m6.test\0"s
                                    u"m7.test\0m8.test\0m9.test"s)}},
             {},
             {"m1.test", "m2.test", "m3.test", "m4.test", "m5.test", "m6.test", "m7.test",
              "m8.test"},
             {},
             {},
             {"policy PackageHosts: \"m9.test\" ignored, more than 8 names",
              "policy PackageHosts=m1.test,m2.test,m3.test,m4.test,m5.test,m6.test,m7.test,"
              "m8.test"}},
        Case{"AnEmptyListNamesNoMirror",
             {{"PackageHosts", multi(u""s)}, {"ReleaseHosts", multi(u"  "s)}},
             {},
             {},
             {},
             {},
             {}}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quarvel
