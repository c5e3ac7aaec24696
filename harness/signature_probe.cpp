// signature-probe FILE...: what the installer's signature check sees in each
// file, as one JSON line per file: the file, WinVerifyTrust's result, the
// signer's common names and the keys among the signature's certificates that
// issued the signer's certificate. Beside osslsigncode it shows which signatures the
// prefix's WinVerifyTrust tells apart. Single thread.
#include <cstdio>

#include <nlohmann/json.hpp>

#include "core/file_system.h"
#include "core/wide_win32.h"
#include "release/package_signature.h"

int wmain(int argc, wchar_t** argv) {
  quarvel::SignatureVerifier& verifier = quarvel::system_signature_verifier();
  for (int i = 1; i < argc; ++i) {
    const std::string file = quarvel::win32::narrow(argv[i]);
    auto opened = quarvel::system_file_system().open_read_deny_write(file);
    if (!opened) {
      std::printf("%s\n",
                  nlohmann::json{{"file", file}, {"error", opened.message()}}.dump().c_str());
      continue;
    }
    const quarvel::SignatureFinding finding = verifier.verify_file(file, **opened);
    const nlohmann::json line = {{"file", file},
                                 {"trustResult", finding.trust_result},
                                 {"signers", finding.signer_common_names},
                                 {"issuerKeys", finding.issuer_keys}};
    std::printf("%s\n",
                line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
  }
  return 0;
}
