// SHA-256 through Windows CNG, loaded from System32 (system_libraries_win32).
#include "core/sha256.h"
#include "core/system_libraries_win32.h"

namespace quarvel {

struct Sha256::State {
  const win32::BcryptApi* api = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  void close() {
    if (hash != nullptr) {
      api->destroy_hash(hash);
      hash = nullptr;
    }
  }
  ~State() { close(); }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  state_->api = win32::bcrypt_api();
  if (state_->api != nullptr &&
      !BCRYPT_SUCCESS(state_->api->create_hash(state_->api->sha256_provider, &state_->hash, nullptr,
                                               0, nullptr, 0, 0))) {
    state_->hash = nullptr;
  }
}

Sha256::~Sha256() = default;

void Sha256::update(std::span<const uint8_t> bytes) {
  // CNG takes 32-bit lengths; feed very large spans in pieces.
  constexpr size_t kMaxPiece = 1u << 30;
  while (state_->hash != nullptr && !bytes.empty()) {
    const size_t piece = bytes.size() < kMaxPiece ? bytes.size() : kMaxPiece;
    if (!BCRYPT_SUCCESS(state_->api->hash_data(state_->hash, const_cast<PUCHAR>(bytes.data()),
                                               static_cast<ULONG>(piece), 0))) {
      state_->close();
    }
    bytes = bytes.subspan(piece);
  }
}

std::vector<uint8_t> Sha256::finish_bytes() {
  std::vector<uint8_t> digest(32);
  if (state_->hash == nullptr ||
      !BCRYPT_SUCCESS(state_->api->finish_hash(state_->hash, digest.data(), 32, 0))) {
    digest.clear();
  }
  state_->close();
  return digest;
}

}  // namespace quarvel
