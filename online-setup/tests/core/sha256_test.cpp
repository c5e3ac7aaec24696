#include "core/sha256.h"
#include "core/sha256_extensions.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// The processor's SHA extensions give the platform's digest for every
// length around the block and padding boundaries, fed in pieces of any size.
TEST(Sha256, TheProcessorsExtensionsGiveThePlatformsDigest) {
  if (!ShaExtensionsSha256::available())
    GTEST_SKIP() << "this processor has no SHA extensions";
  std::string data(1000, '\0');
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<char>(i * 131 + (i >> 3));
  const auto bytes = [&](size_t from, size_t count) {
    return std::span(reinterpret_cast<const uint8_t*>(data.data()) + from, count);
  };
  for (size_t length = 0; length <= data.size(); length += length < 200 ? 1 : 97) {
    for (const size_t piece : {size_t{1}, size_t{63}, size_t{64}, size_t{1000}}) {
      ShaExtensionsSha256 extensions;
      for (size_t at = 0; at < length; at += piece)
        extensions.update(bytes(at, std::min(piece, length - at)));
      const std::array<uint8_t, 32> digest = extensions.finish();
      ASSERT_EQ(lower_hex(digest), sha256_hex(std::string_view(data).substr(0, length)))
          << length << " bytes in pieces of " << piece;
    }
  }
}

TEST(Sha256, LowerHexIsHighNibbleFirst) {
  const uint8_t bytes[] = {0x00, 0x0f, 0xf0, 0xab};
  EXPECT_EQ(lower_hex(bytes), "000ff0ab");
}

}  // namespace
}  // namespace quarvel
