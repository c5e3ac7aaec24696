// WinVerifyTrust on an open package file (generic Authenticode policy, no
// user interface, no revocation fetch), the common names of the signer
// certificate it verified and the keys among the signature's certificates
// that issued it. Runs on the install run's thread.
#include <windows.h>

#include <softpub.h>

#include <cstring>

#include "core/system_libraries_win32.h"
#include "core/wide_win32.h"
#include "release/certificate_key.h"
#include "release/package_signature.h"

namespace quarvel {
namespace {

using win32::AuthenticodeApi;

// Releases what CryptDecodeObjectEx allocated for the caller.
class LocalMemory {
 public:
  explicit LocalMemory(void* memory) : memory_(memory) {}
  LocalMemory(const LocalMemory&) = delete;
  LocalMemory& operator=(const LocalMemory&) = delete;
  ~LocalMemory() { LocalFree(memory_); }

 private:
  void* memory_;
};

// Frees the state WinVerifyTrust kept for the verified file, on every path.
class TrustState {
 public:
  TrustState(const AuthenticodeApi& api, GUID& action, WINTRUST_DATA& data)
      : api_(api), action_(action), data_(data) {}
  TrustState(const TrustState&) = delete;
  TrustState& operator=(const TrustState&) = delete;
  ~TrustState() {
    if (data_.hWVTStateData == nullptr)
      return;
    data_.dwStateAction = WTD_STATEACTION_CLOSE;
    api_.verify_trust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &data_);
  }

 private:
  const AuthenticodeApi& api_;
  GUID& action_;
  WINTRUST_DATA& data_;
};

// The attribute's text with every character it holds (an embedded NUL stays
// in, so such a name never equals an accepted one).
std::string attribute_text(const AuthenticodeApi& api, const CERT_RDN_ATTR& attribute) {
  auto* value = const_cast<CERT_RDN_VALUE_BLOB*>(&attribute.Value);
  const DWORD length = api.name_value_to_string(attribute.dwValueType, value, nullptr, 0);
  if (length <= 1)
    return {};
  std::wstring text(length, L'\0');
  const DWORD written = api.name_value_to_string(attribute.dwValueType, value, text.data(), length);
  text.resize(written > 0 ? written - 1 : 0);  // without the terminating NUL
  return win32::narrow(text);
}

std::vector<std::string> common_names(const AuthenticodeApi& api, const CERT_NAME_BLOB& subject) {
  CERT_NAME_INFO* name = nullptr;
  DWORD size = 0;
  if (!api.decode_object(X509_ASN_ENCODING, X509_NAME, subject.pbData, subject.cbData,
                         CRYPT_DECODE_ALLOC_FLAG, nullptr, &name, &size)) {
    return {};
  }
  const LocalMemory owner(name);
  std::vector<std::string> names;
  for (DWORD i = 0; i < name->cRDN; ++i) {
    const CERT_RDN& relative = name->rgRDN[i];
    for (DWORD j = 0; j < relative.cRDNAttr; ++j) {
      if (std::strcmp(relative.rgRDNAttr[j].pszObjId, szOID_COMMON_NAME) == 0) {
        names.push_back(attribute_text(api, relative.rgRDNAttr[j]));
      }
    }
  }
  return names;
}

// Owns a certificate context made from encoded bytes.
class CertificateContext {
 public:
  CertificateContext(const AuthenticodeApi& api, const CERT_CONTEXT* context)
      : api_(api), context_(context) {}
  CertificateContext(const CertificateContext&) = delete;
  CertificateContext& operator=(const CertificateContext&) = delete;
  ~CertificateContext() {
    if (context_ != nullptr)
      api_.free_certificate(context_);
  }
  const CERT_CONTEXT* get() const { return context_; }

 private:
  const AuthenticodeApi& api_;
  const CERT_CONTEXT* context_;
};

// The encoded certificate at the index of the signature's certificates;
// empty when it cannot be read.
std::vector<BYTE> carried_certificate(const AuthenticodeApi& api, HCRYPTMSG message, DWORD index) {
  DWORD size = 0;
  if (!api.message_parameter(message, CMSG_CERT_PARAM, index, nullptr, &size))
    return {};
  std::vector<BYTE> encoded(size);
  if (!api.message_parameter(message, CMSG_CERT_PARAM, index, encoded.data(), &size))
    return {};
  encoded.resize(size);
  return encoded;
}

// True when the candidate's key verifies the signature on the signer's
// certificate.
bool issued(const AuthenticodeApi& api, const CERT_CONTEXT& signer, const CERT_CONTEXT& candidate) {
  return api.verify_certificate_signature(
             0, X509_ASN_ENCODING, CRYPT_VERIFY_CERT_SIGN_SUBJECT_CERT,
             const_cast<CERT_CONTEXT*>(&signer), CRYPT_VERIFY_CERT_SIGN_ISSUER_CERT,
             const_cast<CERT_CONTEXT*>(&candidate), 0, nullptr) != FALSE;
}

// The key of each certificate the signature carries that issued the signer
// certificate. Only a key whose signature on it verifies counts: a CA's
// public key is public, so anyone can carry a certificate with its name and
// key.
std::vector<std::string> issuer_keys(const AuthenticodeApi& api,
                                     HCRYPTMSG message,
                                     const CERT_CONTEXT& signer) {
  DWORD count = 0;
  DWORD size = sizeof count;
  if (message == nullptr ||
      !api.message_parameter(message, CMSG_CERT_COUNT_PARAM, 0, &count, &size)) {
    return {};
  }
  std::vector<std::string> keys;
  for (DWORD i = 0; i < count; ++i) {
    const std::vector<BYTE> encoded = carried_certificate(api, message, i);
    if (encoded.empty())
      continue;
    const CertificateContext candidate(api,
                                       api.create_certificate(X509_ASN_ENCODING, encoded.data(),
                                                              static_cast<DWORD>(encoded.size())));
    if (candidate.get() != nullptr && issued(api, signer, *candidate.get()))
      keys.push_back(certificate_key_sha256(encoded));
  }
  return keys;
}

// The verdict, and what the first signer's certificate (as WinVerifyTrust
// saw it) holds; only the verdict when the file has no signer.
SignatureFinding finding_of(const AuthenticodeApi& api, LONG result, HANDLE state) {
  SignatureFinding finding{static_cast<uint32_t>(result), {}, {}};
  CRYPT_PROVIDER_DATA* provider = api.provider_data(state);
  if (provider == nullptr)
    return finding;
  CRYPT_PROVIDER_SGNR* signer = api.provider_signer(provider, 0, FALSE, 0);
  if (signer == nullptr)
    return finding;
  const CRYPT_PROVIDER_CERT* certificate = api.provider_certificate(signer, 0);
  if (certificate == nullptr || certificate->pCert == nullptr)
    return finding;
  finding.signer_common_names = common_names(api, certificate->pCert->pCertInfo->Subject);
  finding.issuer_keys = issuer_keys(api, provider->hMsg, *certificate->pCert);
  return finding;
}

class Win32SignatureVerifier final : public SignatureVerifier {
 public:
  SignatureFinding verify_file(const std::string& path, ReadableFile& package) override {
    const AuthenticodeApi* api = win32::authenticode_api();
    if (api == nullptr)
      return {static_cast<uint32_t>(TRUST_E_PROVIDER_UNKNOWN), {}, {}};
    const std::wstring wide_path = win32::widen(path);
    // WinVerifyTrust reads the signature and the signed bytes through this
    // handle, so it judges the very file the caller opened and holds; the
    // path only names it. It gets the file from its start.
    const HANDLE handle = reinterpret_cast<HANDLE>(package.system_handle());
    SetFilePointerEx(handle, LARGE_INTEGER{}, nullptr, FILE_BEGIN);
    WINTRUST_FILE_INFO file{};
    file.cbStruct = sizeof file;
    file.pcwszFilePath = wide_path.c_str();
    file.hFile = handle;
    WINTRUST_DATA data{};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;  // nothing is fetched from the network
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    // The trust decision is WinVerifyTrust's: on Windows it refuses a chain
    // that ends at an untrusted root (CERT_E_UNTRUSTEDROOT) or breaks off
    // (CERT_E_CHAINING), and a certificate not meant for code signing
    // (CERT_E_WRONG_USAGE). Wine 8 returns 0 for all three; see the README's
    // known limits of the Wine tests. A pinned issuer key is checked here,
    // with crypt32 alone, so it holds under Wine too.
    const LONG result = api->verify_trust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    const TrustState state(*api, action, data);
    return finding_of(*api, result, data.hWVTStateData);
  }
};

}  // namespace

SignatureVerifier& system_signature_verifier() {
  static Win32SignatureVerifier verifier;
  return verifier;
}

}  // namespace quarvel
