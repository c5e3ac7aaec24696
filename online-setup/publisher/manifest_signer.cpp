// Signing keys through OpenSSL. Main thread of the publisher.
#include "publisher/manifest_signer.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <optional>
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

std::string not_p256(const std::string& path) {
  return path + " is not a P-256 (prime256v1) key: the manifest is signed with ECDSA P-256 only";
}

// The key's id and point; nullopt for a key that is not P-256.
std::optional<ManifestPublicKey> public_key_of(EVP_PKEY* key) {
  const std::vector<uint8_t> der = key_info(key);
  const std::optional<P256Point> point = p256_point_of_key_info(der);
  if (!point)
    return std::nullopt;
  return ManifestPublicKey{
      sha256_hex(std::string_view(reinterpret_cast<const char*>(der.data()), der.size())), *point};
}

// The PEM text of a key file in a memory BIO; nullptr when it cannot be made.
std::unique_ptr<BIO, Freer<BIO_free>> pem_bio(const std::string& pem) {
  return std::unique_ptr<BIO, Freer<BIO_free>>(
      BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
}

}  // namespace

Result<ManifestPublicKey> load_manifest_public_key(FileSystem& files, const std::string& path) {
  const Result<std::string> pem = read_file_up_to(files, path, kLargestKeyFile);
  if (!pem)
    return Failure{"cannot read the public key " + path + ": " + pem.message()};
  const auto bio = pem_bio(*pem);
  const std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY_free>> key(
      bio ? PEM_read_bio_PUBKEY(bio.get(), nullptr, no_passphrase, nullptr) : nullptr);
  if (!key)
    return Failure{path + " is not a PEM public key"};
  std::optional<ManifestPublicKey> public_key = public_key_of(key.get());
  if (!public_key)
    return Failure{not_p256(path)};
  return std::move(public_key).value();
}

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
  const auto bio = pem_bio(*pem);
  auto key = std::make_unique<Key>();
  key->pkey.reset(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, no_passphrase, nullptr)
                      : nullptr);
  if (!key->pkey)
    return Failure{path + " is not an unencrypted PEM private key"};
  std::optional<ManifestPublicKey> public_key = public_key_of(key->pkey.get());
  if (!public_key)
    return Failure{not_p256(path)};
  return ManifestSigner(std::move(key), path, std::move(public_key->id), public_key->point);
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
