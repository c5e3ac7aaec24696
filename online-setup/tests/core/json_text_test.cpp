#include "core/json_text.h"

#include <gtest/gtest.h>

namespace quarvel {
namespace {

using nlohmann::json;

TEST(JsonText, CompactOrdersKeysByBytesWithoutWhiteSpace) {
  const json value = {{"text", "x"}, {"percent", 42}, {"Z", true}, {"a", false}};
  EXPECT_EQ(json_compact(value), R"({"Z":true,"a":false,"percent":42,"text":"x"})");
}

TEST(JsonText, EscapesOnlyQuoteBackslashAndControlCharacters) {
  const json value = std::string("\"\\/\b\t\n\f\r\x01\x1f 安装·");
  EXPECT_EQ(json_compact(value), "\"\\\"\\\\/\\b\\t\\n\\f\\r\\u0001\\u001f 安装·\"");
  EXPECT_EQ(json_compact(json(std::string(1, '\0'))), "\"\\u0000\"");
}

TEST(JsonText, PrettyIndentsTwoSpacesWithoutTrailingNewline) {
  const json value = {{"status", "failed"}, {"error", "本机用户目录不可用"}};
  EXPECT_EQ(json_pretty(value),
            "{\n  \"error\": \"本机用户目录不可用\",\n  \"status\": \"failed\"\n}");
}

TEST(JsonText, IntegersInPlainDecimalAcrossTheUnsignedRange) {
  const json value = {{"big", uint64_t{18446744073709551615u}}, {"zero", 0}};
  EXPECT_EQ(json_compact(value), R"({"big":18446744073709551615,"zero":0})");
}

TEST(JsonText, InvalidUtf8IsReplacedInsteadOfThrown) {
  EXPECT_EQ(json_compact(json(std::string("a\xFF"
                                          "b"))),
            "\"a\xEF\xBF\xBD"
            "b\"");
}

}  // namespace
}  // namespace quarvel
