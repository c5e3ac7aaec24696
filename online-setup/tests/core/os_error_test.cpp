#include "core/os_error.h"

#include <gtest/gtest.h>

#include <string>

namespace quarvel {
namespace {

struct FormatCase {
  const char* description;
  uint32_t code;
  const char* expected;
};

class SystemErrorFormat : public testing::TestWithParam<FormatCase> {};

TEST_P(SystemErrorFormat, TrimsTrailingWhiteSpaceAndAppendsTheCode) {
  EXPECT_EQ(format_system_error(GetParam().description, GetParam().code), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts,
    SystemErrorFormat,
    testing::Values(FormatCase{"Access is denied.\r\n", 5, "Access is denied. (os error 5)"},
                    FormatCase{"Tabs and blanks \t \t", 87, "Tabs and blanks (os error 87)"},
                    FormatCase{"Inner\r\nlines stay", 1, "Inner\r\nlines stay (os error 1)"},
                    FormatCase{"", 4294967295u, " (os error 4294967295)"},
                    FormatCase{"拒绝访问。\r\n", 0, "拒绝访问。 (os error 0)"}));

TEST(SystemErrorText, IsTheSystemDescriptionThenTheCode) {
  const std::string text = system_error_text(2);
  const std::string suffix = " (os error 2)";
  ASSERT_GT(text.size(), suffix.size());
  EXPECT_EQ(text.substr(text.size() - suffix.size()), suffix);
  const char last = text[text.size() - suffix.size() - 1];
  EXPECT_TRUE(last != ' ' && last != '\t' && last != '\r' && last != '\n') << text;
}

}  // namespace
}  // namespace quarvel
