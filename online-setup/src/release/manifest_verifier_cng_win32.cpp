// ECDSA P-256 verification of the signed manifest through CNG, loaded from
// System32 (system_libraries_win32). Any thread; each call opens and closes
// its own provider and key.
#include <cstring>

#include "core/sha256.h"
#include "core/system_libraries_win32.h"
#include "release/signed_manifest.h"

namespace quarvel {
namespace {

struct Provider {
  const win32::BcryptApi& api;
  BCRYPT_ALG_HANDLE handle = nullptr;
  ~Provider() {
    if (handle != nullptr)
      api.close_algorithm_provider(handle, 0);
  }
};

struct Key {
  const win32::BcryptApi& api;
  BCRYPT_KEY_HANDLE handle = nullptr;
  ~Key() {
    if (handle != nullptr)
      api.destroy_key(handle);
  }
};

class CngManifestVerifier final : public ManifestSignatureVerifier {
 public:
  bool verify(const P256Point& point,
              std::string_view message,
              const RawEcdsaSignature& signature) override {
    const win32::BcryptApi* api = win32::bcrypt_api();
    if (api == nullptr)
      return false;
    Sha256 hash;
    hash.update(message);
    std::vector<uint8_t> digest = hash.finish_bytes();
    // "ECDSA_P256", not the generic "ECDSA", which needs its curve set first.
    Provider provider{*api};
    if (digest.empty() || !BCRYPT_SUCCESS(api->open_algorithm_provider(
                              &provider.handle, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0))) {
      return false;
    }
    // A BCRYPT_ECCKEY_BLOB header, then X, then Y.
    UCHAR blob[sizeof(BCRYPT_ECCKEY_BLOB) + 64];
    const BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
    std::memcpy(blob, &header, sizeof header);
    std::memcpy(blob + sizeof header, point.data(), point.size());
    Key key{*api};
    if (!BCRYPT_SUCCESS(api->import_key_pair(provider.handle, nullptr, BCRYPT_ECCPUBLIC_BLOB,
                                             &key.handle, blob, sizeof blob, 0))) {
      return false;
    }
    // The signature is r then s, 32 bytes each, over the SHA-256 digest.
    return BCRYPT_SUCCESS(api->verify_signature(
        key.handle, nullptr, digest.data(), static_cast<ULONG>(digest.size()),
        const_cast<PUCHAR>(signature.data()), static_cast<ULONG>(signature.size()), 0));
  }
};

}  // namespace

ManifestSignatureVerifier& system_manifest_verifier() {
  static CngManifestVerifier verifier;
  return verifier;
}

}  // namespace quarvel
