// The package's Authenticode signature, checked right before the setup is
// started in builds that name accepted signers: the system's trust verdict,
// the signer's name and the key of the CA that issued the signer's
// certificate, judged here. SignatureVerifier is the platform seam
// (WinVerifyTrust and crypt32 on Windows). Runs on the install run's thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/file_system.h"
#include "core/result.h"

namespace quarvel {

// What the system found in one file's signature.
struct SignatureFinding {
  // WinVerifyTrust's result under the generic Authenticode policy: 0 when the
  // signature verifies and its chain ends at a trusted root, else the error
  // (TRUST_E_NOSIGNATURE, TRUST_E_BAD_DIGEST, CERT_E_UNTRUSTEDROOT, ...).
  uint32_t trust_result = 0;
  // The common names in the signer certificate's subject, in order; empty
  // when no signer was found.
  std::vector<std::string> signer_common_names;
  // certificate_key_sha256 of each certificate carried in the signature whose
  // key verifies the signer certificate's own signature: the key of the CA
  // that issued it. Empty when the signature carries no such certificate.
  std::vector<std::string> issuer_keys;
};

// Checks one file's embedded signature, without user interface and without
// fetching anything from the network.
class SignatureVerifier {
 public:
  virtual ~SignatureVerifier() = default;
  // Checks the open file (its system handle; the path names it). Never fails
  // as such: a file that cannot be read or checked comes back with a non-zero
  // trust_result.
  virtual SignatureFinding verify_file(const std::string& path, ReadableFile& file) = 0;
};

// One entry of a signer list: "NAME", or "NAME#HEX" to accept that name only
// from the CA whose key HEX names.
struct AcceptedSigner {
  std::string name;
  // The pinned issuer key as written (an accepted key is 64 lower-case
  // hexadecimal digits); nullopt for an entry without "#".
  std::optional<std::string> issuer_key;
};

// The entries of a semicolon-separated signer list, each split at its last
// "#" and without blanks around name and key; empty entries are dropped, so a
// list of only blanks and semicolons names nobody.
std::vector<AcceptedSigner> accepted_signers(std::string_view list);

// Ok when the system trusts the signature and the signer's subject has
// exactly one common name, equal (byte for byte) to an accepted name whose
// entry, when it pins a key, finds that key among the issuer keys; else
// "安装包签名无效，未执行安装".
Status judge_signature(const SignatureFinding& finding,
                       const std::vector<AcceptedSigner>& accepted);

// The check the run makes before it starts a package.
class PackageSignatureCheck {
 public:
  // `signers` is the build's signer list; the verifier must outlive the check.
  PackageSignatureCheck(std::string_view signers, SignatureVerifier& verifier);
  // Checks the open package. Ok, or "安装包签名无效，未执行安装".
  Status check(const std::string& package_path, ReadableFile& package) const;

 private:
  std::vector<AcceptedSigner> accepted_;
  SignatureVerifier& verifier_;
};

// The signer list this executable was built with (QUARVEL_PACKAGE_SIGNERS,
// or the test signers in the signature-checking test build); empty when the
// build names none and packages are started unchecked.
std::string_view configured_package_signers();

// WinVerifyTrust and crypt32, loaded from System32 (Windows only).
SignatureVerifier& system_signature_verifier();

}  // namespace quarvel
