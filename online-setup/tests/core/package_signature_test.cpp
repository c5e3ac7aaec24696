#include "core/package_signature.h"

#include <gtest/gtest.h>

namespace quarvel {
namespace {

TEST(AcceptedSignerNames, SplitAtSemicolonsWithoutBlanksOrEmptyEntries) {
  EXPECT_EQ(accepted_signer_names(" Quarvel Ltd ;Quarvel Test Publisher;; \t;"),
            (std::vector<std::string>{"Quarvel Ltd", "Quarvel Test Publisher"}));
  EXPECT_TRUE(accepted_signer_names(" ; ;").empty());
}

TEST(JudgeSignature, OnlyATrustedSignatureByOneAcceptedNamePasses) {
  const std::vector<std::string> accepted{"Quarvel Ltd", "Quarvel Test Publisher"};
  const struct {
    SignatureFinding finding;
    bool passes;
  } cases[] = {
      {{0, {"Quarvel Test Publisher"}}, true},
      {{0, {"Quarvel Ltd"}}, true},
      {{0, {"Other Test Publisher"}}, false},
      {{0, {"quarvel ltd"}}, false},
      {{0, {std::string("Quarvel Ltd\0x", 13)}}, false},
      {{0, {"Other Test Publisher", "Quarvel Ltd"}}, false},
      {{0, {}}, false},
      {{0x800B0100, {}}, false},                          // TRUST_E_NOSIGNATURE
      {{0x80096010, {"Quarvel Test Publisher"}}, false},  // TRUST_E_BAD_DIGEST
      {{0x800B0109, {"Quarvel Test Publisher"}}, false},  // CERT_E_UNTRUSTEDROOT
  };
  for (const auto& c : cases) {
    const Status judged = judge_signature(c.finding, accepted);
    EXPECT_EQ(judged.ok(), c.passes)
        << c.finding.trust_result << " " << c.finding.signer_common_names.size();
    if (!judged)
      EXPECT_EQ(judged.message(), "安装包签名无效，未执行安装");
  }
}

}  // namespace
}  // namespace quarvel
