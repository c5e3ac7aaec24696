// Reading the administrator's policy values: each value's type and range,
// the mirror names one by one, and the network log's account of them.
#include "runner/admin_policy.h"

#include <gtest/gtest.h>

#include <map>

namespace quarvel {
namespace {

using namespace std::string_literals;
using Lines = std::vector<std::string>;
using Values = std::map<std::string, RegistryValue, std::less<>>;

RegistryValue dword(uint32_t n) {
  return {4, {uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)}};
}

// UTF-16LE text as the registry holds it; REG_MULTI_SZ (7) strings end with
// a NUL each, the list with one more.
RegistryValue text(uint32_t type, const std::u16string& units) {
  RegistryValue value{type, {}};
  for (const char16_t unit : units)
    value.data.insert(value.data.end(), {uint8_t(unit), uint8_t(unit >> 8)});
  return value;
}

RegistryValue multi(const std::u16string& strings) {
  return text(7, strings + u'\0');
}

struct TableSource final : PolicySource {
  Values values;
  std::optional<RegistryValue> value(std::string_view name) override {
    const auto it = values.find(name);
    return it == values.end() ? std::nullopt : std::optional(it->second);
  }
};

AdminPolicy read(const Values& values) {
  TableSource source;
  source.values = values;
  return read_admin_policy(source,
                           AllowedHosts{{"releases.quarvel.test"}, {"packages.quarvel.test"}});
}

// A value is taken when, and only when, the log says "policy NAME=VALUE".
TEST(ReadingPolicies, TakenValuesReachThePolicy) {
  const AdminPolicy policy = read({{"MaxDownloadKBps", dword(2048)},
                                   {"PackageHosts", multi(u"m.corp.example\0M-2.corp.example"s)},
                                   {"ReleaseHosts", multi(u" r.corp.example\t"s)},
                                   {"OfflineGraceDays", dword(365)}});
  EXPECT_EQ(policy.download_rate_cap(), 2048u * 1024);
  EXPECT_EQ(policy.package_hosts, (Lines{"m.corp.example", "M-2.corp.example"}));
  EXPECT_EQ(policy.release_hosts, (Lines{"r.corp.example"}));
  EXPECT_EQ(policy.offline_grace_days, 365u);
  EXPECT_EQ(
      policy.log_lines,
      (Lines{"policy MaxDownloadKBps=2048", "policy PackageHosts=m.corp.example,M-2.corp.example",
             "policy ReleaseHosts=r.corp.example", "policy OfflineGraceDays=365"}));
  const AdminPolicy ignored = read({{"MaxDownloadKBps", text(1, u"1")},
                                    {"PackageHosts", multi(u"a.test:1"s)},
                                    {"OfflineGraceDays", dword(366)}});
  EXPECT_EQ(ignored.max_download_kbps, std::nullopt);
  EXPECT_EQ(ignored.package_hosts, Lines{});
  EXPECT_EQ(ignored.offline_grace_days, std::nullopt);
  EXPECT_EQ(read({}).log_lines, Lines{});
}

// What the log says about a set of values: each taken ("NAME=") or ignored,
// and why.
struct Case {
  const char* name;
  Values values;
  Lines log_lines;
  friend void PrintTo(const Case& row, std::ostream* out) { *out << row.name; }
};

struct ReadingPolicyValues : testing::TestWithParam<Case> {};

TEST_P(ReadingPolicyValues, TakesWhatFitsAndNamesWhatIsIgnored) {
  EXPECT_EQ(read(GetParam().values).log_lines, GetParam().log_lines);
}

INSTANTIATE_TEST_SUITE_P(
    Values,
    ReadingPolicyValues,
    testing::Values(
        Case{"RangeEnds",
             {{"MaxDownloadKBps", dword(4294967295u)}, {"OfflineGraceDays", dword(0)}},
             {"policy MaxDownloadKBps=4294967295", "policy OfflineGraceDays=0"}},
        Case{"WrongTypesSizesAndRange",
             {{"MaxDownloadKBps", text(1, u"2048")},
              {"PackageHosts", RegistryValue{12, {}}},
              {"ReleaseHosts", RegistryValue{7, {'m', 0, 0}}},
              {"OfflineGraceDays", dword(366)}},
             {"policy MaxDownloadKBps ignored: REG_SZ is not REG_DWORD",
              "policy PackageHosts ignored: type 12 is not REG_MULTI_SZ",
              "policy ReleaseHosts ignored: REG_MULTI_SZ of an odd 3 bytes",
              "policy OfflineGraceDays ignored: 366 is not within 0 to 365"}},
        Case{"ShortDword",
             {{"OfflineGraceDays", RegistryValue{4, {7, 0}}}},
             {"policy OfflineGraceDays ignored: REG_DWORD of 2 bytes"}},
        Case{
            "MirrorNamesJudgedOneByOne",
            {{"PackageHosts", multi(u"m.test:443\0m.test\0\0M.TEST\0Packages.Quarvel.Test\0"
                                    u"bad\nname\0-m.test\0https://m.test/"s)},
             {"ReleaseHosts", multi(u"packages.quarvel.test\0releases.quarvel.test"s)}},
            {"policy PackageHosts: \"m.test:443\" ignored, not a DNS host name",
             "policy PackageHosts: \"M.TEST\" ignored, named twice",
             "policy PackageHosts: \"Packages.Quarvel.Test\" ignored, a host of this build already",
             "policy PackageHosts: \"bad\\x0aname\" ignored, not a DNS host name",
             "policy PackageHosts: \"-m.test\" ignored, not a DNS host name",
             "policy PackageHosts: \"https://m.test/\" ignored, not a DNS host name",
             "policy PackageHosts=m.test",
             "policy ReleaseHosts: \"releases.quarvel.test\" ignored, a host of this build already",
             "policy ReleaseHosts=packages.quarvel.test"}},
        Case{"AtMostEightMirrorsNoTerminatorNeededEmptyListsNameNone",
             {{"PackageHosts", text(7, u"a.t\0b.t\0c.t\0d.t\0e.t\0f.t\0g.t\0h.t\0i.t"s)},
              {"ReleaseHosts", multi(u"  "s)}},
             {"policy PackageHosts: \"i.t\" ignored, more than 8 names",
              "policy PackageHosts=a.t,b.t,c.t,d.t,e.t,f.t,g.t,h.t"}}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quarvel
