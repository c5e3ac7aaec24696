// Which attributes a truncating open gives CreateFileW, so that a hidden or
// system file is replaced instead of refused with access denied.
#include "core/replace_attributes.h"

#include <gtest/gtest.h>

namespace quarvel {
namespace {

TEST(AttributesForReplacing, KeepHiddenAndSystemElseNormal) {
  constexpr uint32_t kReadOnly = 0x1, kArchive = 0x20;
  const struct {
    std::optional<uint32_t> existing;
    uint32_t expected;
  } cases[] = {
      {std::nullopt, kAttributeNormal},
      {kArchive, kAttributeNormal},
      {kAttributeNormal, kAttributeNormal},
      {kAttributeHidden | kArchive, kAttributeHidden},
      {kAttributeSystem, kAttributeSystem},
      {kAttributeHidden | kAttributeSystem | kReadOnly, kAttributeHidden | kAttributeSystem},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(attributes_for_replacing(c.existing), c.expected) << c.existing.value_or(~0u);
  }
}

}  // namespace
}  // namespace quarvel
