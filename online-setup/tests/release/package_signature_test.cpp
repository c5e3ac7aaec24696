#include "release/package_signature.h"

#include <gtest/gtest.h>

#include "release/certificate_key.h"
#include "support/fixtures.h"

namespace quarvel {
namespace {

TEST(AcceptedSigners, SplitAtSemicolonsAndTheLastHashWithoutBlanksOrEmptyEntries) {
  const std::vector<AcceptedSigner> signers =
      accepted_signers(" Quarvel Ltd ;Quarvel Test Publisher # 0a1b ;; \t;A#B#c;Nobody#");
  const std::vector<std::pair<std::string, std::optional<std::string>>> expected{
      {"Quarvel Ltd", std::nullopt},
      {"Quarvel Test Publisher", "0a1b"},
      {"A#B", "c"},
      {"Nobody", ""}};
  ASSERT_EQ(signers.size(), expected.size());
  for (size_t i = 0; i < signers.size(); ++i) {
    EXPECT_EQ(signers[i].name, expected[i].first);
    EXPECT_EQ(signers[i].issuer_key, expected[i].second);
  }
  EXPECT_TRUE(accepted_signers(" ; ;").empty());
}

TEST(JudgeSignature, OnlyATrustedSignatureByOneAcceptedNameFromAPinnedIssuerPasses) {
  const std::string ca(64, 'a'), renewed_ca(64, 'b'), other_ca(64, 'c');
  const std::vector<AcceptedSigner> accepted =
      accepted_signers("Quarvel Ltd;Quarvel Test Publisher#" + ca + ";Quarvel Test Publisher#" +
                       renewed_ca + ";Broken#");
  const struct {
    SignatureFinding finding;
    bool passes;
  } cases[] = {
      {{0, {"Quarvel Ltd"}, {}}, true},  // no pin: any issuer
      {{0, {"Quarvel Test Publisher"}, {ca}}, true},
      {{0, {"Quarvel Test Publisher"}, {other_ca, renewed_ca}}, true},
      {{0, {"Quarvel Test Publisher"}, {other_ca}}, false},
      {{0, {"Quarvel Test Publisher"}, {}}, false},  // the issuer is not in the signature
      {{0, {"Broken"}, {""}}, false},
      {{0, {"Other Test Publisher"}, {ca}}, false},
      {{0, {"quarvel ltd"}, {}}, false},
      {{0, {std::string("Quarvel Ltd\0x", 13)}, {}}, false},
      // Several common names: refused whichever of them is accepted.
      {{0, {"Quarvel Ltd", "Other Test Publisher"}, {}}, false},
      {{0, {"Other Test Publisher", "Quarvel Ltd"}, {}}, false},
      {{0, {"Quarvel Ltd", "Quarvel Ltd"}, {}}, false},
      {{0, {}, {}}, false},
      {{0x800B0100, {}, {}}, false},                            // TRUST_E_NOSIGNATURE
      {{0x80096010, {"Quarvel Test Publisher"}, {ca}}, false},  // TRUST_E_BAD_DIGEST
      {{0x800B0109, {"Quarvel Ltd"}, {}}, false},               // CERT_E_UNTRUSTEDROOT
  };
  for (const auto& c : cases) {
    const Status judged = judge_signature(c.finding, accepted);
    EXPECT_EQ(judged.ok(), c.passes)
        << c.finding.trust_result << " " << testing::PrintToString(c.finding.signer_common_names)
        << " " << testing::PrintToString(c.finding.issuer_keys);
    if (!judged)
      EXPECT_EQ(judged.message(), "安装包签名无效，未执行安装");
  }
}

// The expected digests are what openssl prints for the fixtures
// (x509 -pubkey | pkey -pubin -outform DER | sha256sum).
TEST(CertificateKeySha256, IsTheDigestOfTheEncodedSubjectPublicKeyInfo) {
  const auto bytes = [](const std::string& text) {
    return std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  };
  const std::string version_1 = testing_support::read_fixture("certificates/version-1-rsa.der");
  EXPECT_EQ(certificate_key_sha256(bytes(version_1)),
            "166c6fafc179d96bcc2deeaf1d980978a8f1bc0d413180d02439f2ea0025568b");
  const std::string version_3 = testing_support::read_fixture("certificates/version-3-ec.der");
  EXPECT_EQ(certificate_key_sha256(bytes(version_3)),
            "2d4656faa4fa0af309604d5432753736eab0b6bd9a3e6639d7f61d27cc4fa0f1");
  // Cut short, with both outer lengths made to fit: no key until all of it
  // (bytes 115 to 206 of this certificate) is there.
  const auto cut = [&](size_t size) {
    std::string bytes = version_3.substr(0, size);
    for (const size_t header : {0, 4}) {  // 30 82 HH LL: certificate, then to-be-signed part
      bytes[header + 2] = static_cast<char>((size - header - 4) >> 8);
      bytes[header + 3] = static_cast<char>(size - header - 4);
    }
    return bytes;
  };
  for (size_t size = 8; size < version_3.size(); ++size) {
    EXPECT_EQ(certificate_key_sha256(bytes(cut(size))).empty(), size < 206) << size;
  }
  EXPECT_EQ(certificate_key_sha256(bytes(testing_support::read_fixture("manifests/valid.json"))),
            "");
}

}  // namespace
}  // namespace quarvel
