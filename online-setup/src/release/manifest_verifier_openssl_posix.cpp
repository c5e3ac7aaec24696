// ECDSA P-256 verification of the signed manifest through OpenSSL (native
// builds: the unit tests and the publisher). Any thread.
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>

#include "release/signed_manifest.h"

namespace quarvel {
namespace {

template <auto Free>
struct Freer {
  template <class T>
  void operator()(T* value) const {
    Free(value);
  }
};

// The signature in the DER form OpenSSL verifies; empty on failure.
std::vector<uint8_t> der_signature(const RawEcdsaSignature& raw) {
  std::unique_ptr<ECDSA_SIG, Freer<ECDSA_SIG_free>> signature(ECDSA_SIG_new());
  BIGNUM* r = BN_bin2bn(raw.data(), 32, nullptr);
  BIGNUM* s = BN_bin2bn(raw.data() + 32, 32, nullptr);
  if (!signature || r == nullptr || s == nullptr || ECDSA_SIG_set0(signature.get(), r, s) != 1) {
    BN_free(r);
    BN_free(s);
    return {};
  }
  std::vector<uint8_t> der(static_cast<size_t>(i2d_ECDSA_SIG(signature.get(), nullptr)));
  uint8_t* out = der.data();
  i2d_ECDSA_SIG(signature.get(), &out);
  return der;
}

class OpenSslManifestVerifier final : public ManifestSignatureVerifier {
 public:
  bool verify(const P256Point& point,
              std::string_view message,
              const RawEcdsaSignature& signature) override {
    const std::vector<uint8_t> key_info = p256_key_info(point);
    const uint8_t* in = key_info.data();
    std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY_free>> key(
        d2i_PUBKEY(nullptr, &in, static_cast<long>(key_info.size())));
    std::unique_ptr<EVP_MD_CTX, Freer<EVP_MD_CTX_free>> context(EVP_MD_CTX_new());
    const std::vector<uint8_t> der = der_signature(signature);
    return key && context && !der.empty() &&
           EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) == 1 &&
           EVP_DigestVerify(context.get(), der.data(), der.size(),
                            reinterpret_cast<const unsigned char*>(message.data()),
                            message.size()) == 1;
  }
};

}  // namespace

ManifestSignatureVerifier& system_manifest_verifier() {
  static OpenSslManifestVerifier verifier;
  return verifier;
}

}  // namespace quarvel
