// The signed manifest's text formats: strict base64, the signature's DER and
// raw forms, a key's SubjectPublicKeyInfo and the expiry's UTC time.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/base64.h"
#include "core/utc_time.h"
#include "release/ecdsa_signature.h"

namespace quarvel {
namespace {

std::vector<uint8_t> bytes_of_hex(const std::string& hex) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

TEST(Base64, EncodesWithPaddingAndDecodesOnlyItsOwnText) {
  for (const auto& [bytes, text] :
       std::vector<std::pair<std::string, std::string>>{{"", ""},
                                                        {"f", "Zg=="},
                                                        {"fo", "Zm8="},
                                                        {"foo", "Zm9v"},
                                                        {"foob", "Zm9vYg=="},
                                                        {std::string("\xff\xfe\x00", 3), "//4A"}}) {
    EXPECT_EQ(base64_encode(bytes), text);
    EXPECT_EQ(base64_decode(text), bytes) << text;
  }
  // Missing or misplaced padding, white space, the URL alphabet, a text
  // whose unused bits are set (a second text for "f").
  for (const std::string text : {"Zg", "Zg=", "Z===", "Zg==Zg==", "Zm9v\n", " Zm9v", "Zm-_",
                                 "Zh==", "Zm9=", "====", "Zg=a"}) {
    EXPECT_EQ(base64_decode(text), std::nullopt) << text;
  }
}

TEST(EcdsaSignature, OnlyAStrictDerSequenceOfTwoPositiveScalarsBecomesRawBytes) {
  const std::string r(64, '1');                       // 32 bytes 0x11
  const std::string s = "00" + std::string(64, 'f');  // 0xff.. needs its leading zero
  const std::optional<RawEcdsaSignature> raw =
      ecdsa_der_to_raw(bytes_of_hex("3045022011" + r.substr(2) + "022100" + s.substr(2)));
  ASSERT_TRUE(raw);
  EXPECT_EQ(raw->front(), 0x11);
  EXPECT_EQ((*raw)[32], 0xff);
  // Short scalars are right-aligned.
  const std::optional<RawEcdsaSignature> small = ecdsa_der_to_raw(bytes_of_hex("3006020101020102"));
  ASSERT_TRUE(small);
  EXPECT_EQ((*small)[31], 1);
  EXPECT_EQ((*small)[63], 2);
  EXPECT_EQ((*small)[30], 0);
  for (const std::string der : {
           "",  // nothing
           "3006020101020102"
           "00",                      // trailing byte
           "3007020101020102",        // length says more than is there
           "3106020101020102",        // not a SEQUENCE
           "308106020101020102",      // long-form length
           "3006020181020102",        // negative r
           "300702020001020102",      // r with a needless leading zero
           "3006020100020102",        // r zero
           "3003020101",              // one INTEGER
           "3006030101020102",        // not an INTEGER
           "3009020101020102020103",  // three INTEGERs
       }) {
    EXPECT_EQ(ecdsa_der_to_raw(bytes_of_hex(der)), std::nullopt) << der;
  }
  // 33 significant bytes do not fit a P-256 scalar.
  EXPECT_EQ(ecdsa_der_to_raw(bytes_of_hex("302602210101" + std::string(62, '0') + "020101")),
            std::nullopt);
}

TEST(EcdsaSignature, AKeysPointComesOnlyFromAP256KeyInfo) {
  const std::string prefix = "3059301306072a8648ce3d020106082a8648ce3d03010703420004";
  const std::string point(128, 'a');
  const std::optional<P256Point> found = p256_point_of_key_info(bytes_of_hex(prefix + point));
  ASSERT_TRUE(found);
  EXPECT_EQ(p256_key_info(*found), bytes_of_hex(prefix + point));
  // Another curve's name, a compressed point, one byte short.
  EXPECT_FALSE(p256_point_of_key_info(
      bytes_of_hex(prefix.substr(0, 44) + "22" + prefix.substr(46) + point)));
  EXPECT_FALSE(p256_point_of_key_info(bytes_of_hex(prefix.substr(0, 52) + "03" + point)));
  EXPECT_FALSE(p256_point_of_key_info(bytes_of_hex(prefix + point.substr(2))));
}

TEST(UtcTime, ReadsAndWritesOneExactForm) {
  for (const auto& [text, seconds] :
       std::vector<std::pair<std::string, int64_t>>{{"1970-01-01T00:00:00Z", 0},
                                                    {"2025-06-01T12:00:00Z", 1'748'779'200},
                                                    {"2024-02-29T23:59:59Z", 1'709'251'199},
                                                    {"1969-12-31T23:59:59Z", -1},
                                                    {"0001-01-01T00:00:00Z", -62'135'596'800},
                                                    {"9999-12-31T23:59:59Z", 253'402'300'799}}) {
    EXPECT_EQ(parse_utc_time(text), seconds) << text;
    EXPECT_EQ(format_utc_time(seconds), text);
  }
  for (const std::string text :
       {"2025-02-29T00:00:00Z", "2100-02-29T00:00:00Z", "2025-13-01T00:00:00Z",
        "2025-04-31T00:00:00Z", "2025-06-01T24:00:00Z", "2025-06-01T12:60:00Z",
        "2025-06-01T12:00:60Z", "0000-01-01T00:00:00Z", "2025-06-01t12:00:00z",
        "2025-06-01T12:00:00", "2025-06-01T12:00:00+00:00", "2025-06-01T12:00:00.5Z",
        "2025-6-01T12:00:00Z", "+025-06-01T12:00:00Z", ""}) {
    EXPECT_EQ(parse_utc_time(text), std::nullopt) << text;
  }
  EXPECT_EQ(format_utc_time(INT64_MAX), "9999-12-31T23:59:59Z");
  // A file time is 100 ns units since 1601; seconds round down, also before 1970.
  EXPECT_EQ(unix_seconds_of_file_time(133932528000000000), 1'748'779'200);
  EXPECT_EQ(unix_seconds_of_file_time(116444736000000000 - 1), -1);
  EXPECT_EQ(unix_seconds_of_file_time(INT64_MIN), INT64_MIN / 10'000'000 - 11'644'473'600 - 1);
}

}  // namespace
}  // namespace quarvel
