// Signing keys through OpenSSL. Main thread of the publisher.
#include "publisher/manifest_signer.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <vector>

#include "core/base64.h"
#include "core/sha256.h"

namespace quarvel {
namespace {

// PEM files of keys are a few hundred bytes; more is no key.
constexpr uint64_t kLargestKeyFile = 64 * 1024;

template <auto Free>
struct Freer {
  template <class T>
  void operator()(T* value) const {
    Free(value);
  }
};

// A passphrase callback that declines, so an encrypted key fails to load
// instead of prompting on the terminal.
int no_passphrase(char*, int, int, void*) {
  return 0;
}

// The key's DER SubjectPublicKeyInfo; empty on failure.
std::vector<uint8_t> key_info(EVP_PKEY* key) {
  const int length = i2d_PUBKEY(key, nullptr);
  if (length <= 0)
    return {};
  std::vector<uint8_t> der(static_cast<size_t>(length));
  uint8_t* out = der.data();
  i2d_PUBKEY(key, &out);
  return der;
}

}  // namespace

struct ManifestSigner::Key {
  std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY_free>> pkey;
};

ManifestSigner::ManifestSigner(std::unique_ptr<Key> key,
                               std::string path,
                               std::string id,
                               P256Point point)
    : key_(std::move(key)), path_(std::move(path)), id_(std::move(id)), point_(point) {}
ManifestSigner::ManifestSigner(ManifestSigner&&) noexcept = default;
ManifestSigner& ManifestSigner::operator=(ManifestSigner&&) noexcept = default;
ManifestSigner::~ManifestSigner() = default;

Result<ManifestSigner> ManifestSigner::load(FileSystem& files, const std::string& path) {
  const Result<std::string> pem = read_file_up_to(files, path, kLargestKeyFile);
  if (!pem)
    return Failure{"cannot read the signing key " + path + ": " + pem.message()};
  std::unique_ptr<BIO, Freer<BIO_free>> bio(
      BIO_new_mem_buf(pem->data(), static_cast<int>(pem->size())));
  auto key = std::make_unique<Key>();
  key->pkey.reset(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, no_passphrase, nullptr)
                      : nullptr);
  if (!key->pkey)
    return Failure{path + " is not an unencrypted PEM private key"};
  const std::vector<uint8_t> der = key_info(key->pkey.get());
  const std::optional<P256Point> point = p256_point_of_key_info(der);
  if (!point) {
    return Failure{
        path + " is not a P-256 (prime256v1) key: the manifest is signed with ECDSA P-256 only"};
  }
  return ManifestSigner(
      std::move(key), path,
      sha256_hex(std::string_view(reinterpret_cast<const char*>(der.data()), der.size())), *point);
}

Result<std::string> ManifestSigner::sign(std::string_view payload) const {
  std::unique_ptr<EVP_MD_CTX, Freer<EVP_MD_CTX_free>> context(EVP_MD_CTX_new());
  size_t length = 0;
  const auto* bytes = reinterpret_cast<const unsigned char*>(payload.data());
  if (!context ||
      EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key_->pkey.get()) != 1 ||
      EVP_DigestSign(context.get(), nullptr, &length, bytes, payload.size()) != 1) {
    return Failure{"cannot sign with " + path_};
  }
  std::string signature(length, '\0');
  if (EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &length,
                     bytes, payload.size()) != 1) {
    return Failure{"cannot sign with " + path_};
  }
  signature.resize(length);
  return base64_encode(signature);
}

}  // namespace quarvel
