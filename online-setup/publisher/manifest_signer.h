// The release manifest's signing keys in the publisher: a PEM private key
// read and judged (ECDSA P-256 only), its id and point, and its signature of
// a payload. Native (OpenSSL). Main thread of the publisher.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "core/file_system.h"
#include "core/result.h"
#include "release/ecdsa_signature.h"

namespace quarvel {

// A public key that may have signed a published manifest, with its id (the
// lowercase SHA-256 of its DER SubjectPublicKeyInfo) and its point.
struct ManifestPublicKey {
  std::string id;
  P256Point point{};
};

// The P-256 public key in the PEM file. Returns "cannot read the public key
// PATH: TEXT" when the file cannot be read, "PATH is not a PEM public key" and
// "PATH is not a P-256 (prime256v1) key: the manifest is signed with ECDSA
// P-256 only" for the rest.
Result<ManifestPublicKey> load_manifest_public_key(FileSystem& files, const std::string& path);

class ManifestSigner {
 public:
  // The key in the PEM file (unencrypted; PKCS#8 or SEC1). Returns "cannot
  // read the signing key PATH: TEXT" when the file cannot be read, "PATH is
  // not an unencrypted PEM private key" and "PATH is not a P-256 (prime256v1)
  // key: the manifest is signed with ECDSA P-256 only" for the rest.
  static Result<ManifestSigner> load(FileSystem& files, const std::string& path);

  ManifestSigner(ManifestSigner&&) noexcept;
  ManifestSigner& operator=(ManifestSigner&&) noexcept;
  ~ManifestSigner();

  // The lowercase SHA-256 of the key's DER SubjectPublicKeyInfo.
  const std::string& id() const { return id_; }
  const P256Point& point() const { return point_; }

  // The base64 of the DER ECDSA signature of the bytes with SHA-256, as
  // `openssl dgst -sha256 -sign` makes it; "cannot sign with PATH" on failure.
  Result<std::string> sign(std::string_view payload) const;

 private:
  struct Key;
  ManifestSigner(std::unique_ptr<Key> key, std::string path, std::string id, P256Point point);

  std::unique_ptr<Key> key_;
  std::string path_;
  std::string id_;
  P256Point point_{};
};

}  // namespace quarvel
