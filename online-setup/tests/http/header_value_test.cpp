#include "http/header_value.h"

#include <gtest/gtest.h>

namespace quarvel {
namespace {

TEST(HeaderValueText, ConvertsUnitsAndDropsTrailingNuls) {
  const struct {
    std::u16string units;
    std::string text;
  } cases[] = {
      {u"bytes 0-999/5000", "bytes 0-999/5000"},
      {std::u16string(u"1000\0\0", 6), "1000"},
      {std::u16string(u"a\0b\0", 4), std::string("a\0b", 3)},
      {std::u16string(u"\0", 1), ""},
      {u"", ""},
      {u"安装 \U0001F600", "安装 \xF0\x9F\x98\x80"},
      {std::u16string{u'x', char16_t(0xD800)}, "x\xEF\xBF\xBD"},
      {std::u16string{char16_t(0xDC00), u'y', u'\0'}, "\xEF\xBF\xBDy"},
  };
  for (const auto& entry : cases) {
    EXPECT_EQ(header_value_text(entry.units), entry.text);
  }
}

}  // namespace
}  // namespace quarvel
