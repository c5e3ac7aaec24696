#include "core/utf.h"

#include <gtest/gtest.h>

namespace quarvel {
namespace {

TEST(Utf, RoundTripsEveryPlane) {
  const std::string text = "a\xC3\xA9\xE5\xAE\x89\xF0\x9F\x98\x80";  // a é 安 😀
  EXPECT_EQ(utf8_to_utf16(text), u"a\u00E9\u5B89\U0001F600");
  EXPECT_EQ(utf16_to_utf8(utf8_to_utf16(text)), text);
}

TEST(Utf, UnpairedSurrogatesBecomeReplacementCharacters) {
  EXPECT_EQ(utf16_to_utf8(std::u16string{u'a', char16_t(0xD800)}), "a\xEF\xBF\xBD");
  EXPECT_EQ(utf16_to_utf8(std::u16string{char16_t(0xDC00), u'b'}),
            "\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(utf16_to_utf8(std::u16string{char16_t(0xD800), char16_t(0xD800), char16_t(0xDC00)}),
            "\xEF\xBF\xBD\xF0\x90\x80\x80");
}

TEST(Utf, InvalidUtf8BecomesReplacementCharacters) {
  EXPECT_EQ(utf8_to_utf16("\xFF"), u"\uFFFD");
  EXPECT_EQ(utf8_to_utf16("\xC0\xAF"), u"\uFFFD\uFFFD") << "overlong";
  EXPECT_EQ(utf8_to_utf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD") << "encoded surrogate";
  EXPECT_EQ(utf8_to_utf16("\xE5\xAE"), u"\uFFFD\uFFFD") << "truncated";
}

}  // namespace
}  // namespace quarvel
