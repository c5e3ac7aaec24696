#include "release/package_signature.h"

#include <algorithm>

namespace quarvel {
namespace {

constexpr char kSignatureRefused[] = "安装包签名无效，未执行安装";

std::string_view trim_blanks(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos)
    return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

AcceptedSigner signer_entry(std::string_view entry) {
  const size_t pin = entry.rfind('#');
  if (pin == std::string_view::npos)
    return {std::string(entry), std::nullopt};
  return {std::string(trim_blanks(entry.substr(0, pin))),
          std::string(trim_blanks(entry.substr(pin + 1)))};
}

}  // namespace

std::vector<AcceptedSigner> accepted_signers(std::string_view list) {
  std::vector<AcceptedSigner> signers;
  while (!list.empty()) {
    const size_t end = std::min(list.find(';'), list.size());
    const std::string_view entry = trim_blanks(list.substr(0, end));
    if (!entry.empty())
      signers.push_back(signer_entry(entry));
    list.remove_prefix(std::min(end + 1, list.size()));
  }
  return signers;
}

Status judge_signature(const SignatureFinding& finding,
                       const std::vector<AcceptedSigner>& accepted) {
  if (finding.trust_result != 0)
    return Failure{kSignatureRefused};
  // A subject with several common names has no single signer name to match.
  if (finding.signer_common_names.size() != 1)
    return Failure{kSignatureRefused};
  const std::string& signer = finding.signer_common_names.front();
  const auto& keys = finding.issuer_keys;
  // A pin holds only against a key the system computed (never an empty one).
  const auto accepts = [&](const AcceptedSigner& entry) {
    return entry.name == signer &&
           (!entry.issuer_key ||
            (!entry.issuer_key->empty() &&
             std::find(keys.begin(), keys.end(), *entry.issuer_key) != keys.end()));
  };
  if (std::none_of(accepted.begin(), accepted.end(), accepts))
    return Failure{kSignatureRefused};
  return Ok{};
}

PackageSignatureCheck::PackageSignatureCheck(std::string_view signers, SignatureVerifier& verifier)
    : accepted_(accepted_signers(signers)), verifier_(verifier) {}

Status PackageSignatureCheck::check(const std::string& package_path, ReadableFile& package) const {
  return judge_signature(verifier_.verify_file(package_path, package), accepted_);
}

}  // namespace quarvel
