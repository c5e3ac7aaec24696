#include "core/sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace quarvel {
namespace {

TEST(Sha256, KnownVectors) {
  EXPECT_EQ(sha256_hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(sha256_hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(sha256_hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

TEST(Sha256, IncrementalUpdatesEqualOneShot) {
  const std::string million(1000000, 'a');
  Sha256 digest;
  for (size_t i = 0; i < million.size(); i += 4099) {
    digest.update(std::string_view(million).substr(i, 4099));
  }
  EXPECT_EQ(digest.finish(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, LowerHexIsHighNibbleFirst) {
  const uint8_t bytes[] = {0x00, 0x0f, 0xf0, 0xab};
  EXPECT_EQ(lower_hex(bytes), "000ff0ab");
}

}  // namespace
}  // namespace quarvel
