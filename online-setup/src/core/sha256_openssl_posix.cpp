// SHA-256 through OpenSSL's EVP interface (native builds).
#include <openssl/evp.h>

#include "core/sha256.h"

namespace quarvel {

struct Sha256::State {
  EVP_MD_CTX* context = nullptr;
  ~State() { EVP_MD_CTX_free(context); }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  state_->context = EVP_MD_CTX_new();
  if (state_->context != nullptr &&
      EVP_DigestInit_ex(state_->context, EVP_sha256(), nullptr) != 1) {
    EVP_MD_CTX_free(state_->context);
    state_->context = nullptr;
  }
}

Sha256::~Sha256() = default;

void Sha256::update(std::span<const uint8_t> bytes) {
  if (state_->context != nullptr &&
      EVP_DigestUpdate(state_->context, bytes.data(), bytes.size()) != 1) {
    EVP_MD_CTX_free(state_->context);
    state_->context = nullptr;
  }
}

std::vector<uint8_t> Sha256::finish_bytes() {
  std::vector<uint8_t> digest(EVP_MAX_MD_SIZE);
  unsigned int length = 0;
  if (state_->context == nullptr ||
      EVP_DigestFinal_ex(state_->context, digest.data(), &length) != 1) {
    length = 0;
  }
  EVP_MD_CTX_free(state_->context);
  state_->context = nullptr;
  digest.resize(length);
  return digest;
}

}  // namespace quarvel
