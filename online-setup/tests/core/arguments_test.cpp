#include "core/arguments.h"

#include <gtest/gtest.h>

namespace quarvel {
namespace {

struct SplitCase {
  const char* name;
  std::u16string line;
  ArgumentList expected;
};

class SplitCommandLine : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLine, FollowsTheRuntimeRules) {
  EXPECT_EQ(split_command_line(GetParam().line, u"fallback.exe"), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rules,
    SplitCommandLine,
    testing::Values(
        SplitCase{"Plain", u"prog a b", {"prog", "a", "b"}},
        SplitCase{"TabsAndRunsOfBlanks", u"prog\ta \t  b\t", {"prog", "a", "b"}},
        SplitCase{"QuotesGroup", u"prog \"a b\" c", {"prog", "a b", "c"}},
        SplitCase{"QuotesInsideAnArgument", u"prog a\"b c\"d", {"prog", "ab cd"}},
        SplitCase{"EmptyQuotedArgument", u"prog \"\" x", {"prog", "", "x"}},
        SplitCase{"BackslashesAloneAreLiteral", u"prog a\\\\b c\\", {"prog", "a\\\\b", "c\\"}},
        SplitCase{"EvenBackslashesBeforeQuote", u"prog a\\\\\"b c\"", {"prog", "a\\b c"}},
        SplitCase{"OddBackslashesBeforeQuote", u"prog a\\\\\\\"b", {"prog", "a\\\"b"}},
        SplitCase{"OneBackslashEscapesQuote", u"prog \\\"x\\\"", {"prog", "\"x\""}},
        SplitCase{"QuotedTrailingBackslash", u"prog \"a\\\\\" b", {"prog", "a\\", "b"}},
        SplitCase{"DoubledQuoteInsideQuotes", u"prog \"a\"\"b\" c", {"prog", "a\"b", "c"}},
        SplitCase{"FourQuotes", u"prog \"\"\"\"", {"prog", "\""}},
        SplitCase{"UnbalancedQuoteRunsToEnd", u"prog \"a b", {"prog", "a b"}},
        SplitCase{"QuoteAtEnd", u"prog a\"", {"prog", "a"}},
        SplitCase{"ProgramPathQuoted",
                  u"\"C:\\Program Files\\q.exe\" x",
                  {"C:\\Program Files\\q.exe", "x"}},
        SplitCase{"ProgramPathBackslashesBeforeQuoteStayLiteral",
                  u"C:\\a\\\"b c\\\"d x",
                  {"C:\\a\\b c\\d", "x"}},
        SplitCase{"ProgramPathEndsAtBlankOutsideQuotes", u"pro\"g ram\"x\ty", {"prog ramx", "y"}},
        SplitCase{"ProgramPathOnly", u"prog", {"prog"}},
        SplitCase{"LeadingBlankGivesEmptyProgramPath", u" a", {"", "a"}},
        SplitCase{"EmptyLineGivesTheProgramFileName", u"", {"fallback.exe"}},
        SplitCase{"UnpairedSurrogateIsReplaced",
                  u"prog \xD800x \xDC00",
                  {"prog", "\xEF\xBF\xBDx", "\xEF\xBF\xBD"}},
        SplitCase{"SurrogatePairIsKept", u"prog \xD83D\xDE00", {"prog", "\xF0\x9F\x98\x80"}},
        SplitCase{"ChineseText",
                  u"prog 安装 \"D:\\我的 文件\"",
                  {"prog", "安装", "D:\\我的 文件"}}),
    [](const testing::TestParamInfo<SplitCase>& info) { return std::string(info.param.name); });

TEST(SwitchLookup, MatchesWholeArgumentsExactly) {
  const ArgumentList arguments{"prog", "--Quiet", "--quiet=1", "/quiet", "--show-ui"};
  EXPECT_FALSE(has_switch(arguments, "--quiet"));
  EXPECT_TRUE(has_switch(arguments, "--show-ui"));
  EXPECT_TRUE(has_switch(ArgumentList{"--quiet"}, "--quiet")) << "element 0 takes part";
}

TEST(SwitchLookup, ValueIsTheNextArgumentOfTheFirstOccurrence) {
  EXPECT_EQ(switch_value({"p", "--cache-dir", "a", "--cache-dir", "b"}, "--cache-dir"), "a");
  EXPECT_EQ(switch_value({"p", "--install-dir", "--quiet"}, "--install-dir"), "--quiet");
  EXPECT_EQ(switch_value({"p", "--install-dir", ""}, "--install-dir"), "");
  EXPECT_EQ(switch_value({"p", "--report"}, "--report"), std::nullopt);
  EXPECT_EQ(switch_value({"p", "x"}, "--report"), std::nullopt);
  // The first pair decides: a later repetition with a value is never consulted.
  EXPECT_EQ(switch_value({"p", "--report", "--report"}, "--report"), "--report");
}

TEST(InstanceMutexName, DefaultWithoutCacheDirValue) {
  EXPECT_EQ(instance_mutex_name({"p"}), "Local\\QuarvelOnlineInstaller");
  EXPECT_EQ(instance_mutex_name({"p", "--cache-dir"}), "Local\\QuarvelOnlineInstaller");
  EXPECT_EQ(instance_mutex_name({"p"}).size(), 28u);
}

TEST(InstanceMutexName, CarriesTheDigestOfTheUnchangedValue) {
  // SHA-256("abc"), the FIPS 180-4 example.
  EXPECT_EQ(instance_mutex_name({"p", "--cache-dir", "abc"}),
            "Local\\QuarvelOnlineInstaller-"
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  const std::string upper = instance_mutex_name({"p", "--cache-dir", "D:\\c"});
  const std::string lower = instance_mutex_name({"p", "--cache-dir", "d:\\c\\"});
  EXPECT_EQ(upper.size(), 93u);
  EXPECT_NE(upper, lower);
}

}  // namespace
}  // namespace quarvel
