#include "core/package_signature.h"

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

}  // namespace

std::vector<std::string> accepted_signer_names(std::string_view list) {
  std::vector<std::string> names;
  while (!list.empty()) {
    const size_t end = std::min(list.find(';'), list.size());
    const std::string_view name = trim_blanks(list.substr(0, end));
    if (!name.empty())
      names.emplace_back(name);
    list.remove_prefix(std::min(end + 1, list.size()));
  }
  return names;
}

Status judge_signature(const SignatureFinding& finding, const std::vector<std::string>& accepted) {
  if (finding.trust_result != 0)
    return Failure{kSignatureRefused};
  // A subject with several common names has no single signer name to match.
  if (finding.signer_common_names.size() != 1)
    return Failure{kSignatureRefused};
  const std::string& signer = finding.signer_common_names.front();
  if (std::find(accepted.begin(), accepted.end(), signer) == accepted.end()) {
    return Failure{kSignatureRefused};
  }
  return Ok{};
}

PackageSignatureCheck::PackageSignatureCheck(std::string_view signers, SignatureVerifier& verifier)
    : accepted_(accepted_signer_names(signers)), verifier_(verifier) {}

Status PackageSignatureCheck::check(const std::string& package_path) const {
  return judge_signature(verifier_.verify_file(package_path), accepted_);
}

}  // namespace quarvel
