// DER to raw ECDSA signatures, strictly: a signature has one encoding, so
// no one can alter a signed manifest's signature text and keep it valid.
// Pure, any thread.
#include "release/ecdsa_signature.h"

#include <algorithm>

namespace quarvel {
namespace {

constexpr uint8_t kSequence = 0x30;
constexpr uint8_t kInteger = 0x02;
constexpr size_t kScalarBytes = 32;
// A P-256 key's SubjectPublicKeyInfo up to its point: SEQUENCE { SEQUENCE {
// id-ecPublicKey, prime256v1 }, BIT STRING { uncompressed point } }.
constexpr uint8_t kP256KeyInfoPrefix[] = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2a, 0x86, 0x48,
                                          0xce, 0x3d, 0x02, 0x01, 0x06, 0x08, 0x2a, 0x86, 0x48,
                                          0xce, 0x3d, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00, 0x04};

// Reads one INTEGER at the front of `der` into `out` (right-aligned) and
// drops it from `der`. False unless it is positive, minimal and fits.
bool read_scalar(std::span<const uint8_t>& der, std::span<uint8_t, kScalarBytes> out) {
  if (der.size() < 2 || der[0] != kInteger)
    return false;
  const size_t length = der[1];
  if (length == 0 || length > kScalarBytes + 1 || der.size() < 2 + length)
    return false;
  std::span<const uint8_t> value = der.subspan(2, length);
  der = der.subspan(2 + length);
  if (value[0] & 0x80)
    return false;  // negative
  if (value.size() > 1 && value[0] == 0 && !(value[1] & 0x80))
    return false;  // a leading zero that is not needed
  if (value[0] == 0)
    value = value.subspan(1);
  if (value.size() > kScalarBytes || value.empty())
    return false;  // too large, or zero
  std::copy(value.begin(), value.end(), out.end() - static_cast<std::ptrdiff_t>(value.size()));
  return true;
}

}  // namespace

std::optional<RawEcdsaSignature> ecdsa_der_to_raw(std::span<const uint8_t> der) {
  // Two integers of at most 33 bytes make a body below 128 bytes: the
  // sequence's length has the one-byte form.
  if (der.size() < 2 || der[0] != kSequence || der[1] >= 0x80 || der[1] != der.size() - 2) {
    return std::nullopt;
  }
  std::span<const uint8_t> body = der.subspan(2);
  RawEcdsaSignature raw{};
  const std::span<uint8_t, 64> whole(raw);
  if (!read_scalar(body, whole.first<kScalarBytes>()) ||
      !read_scalar(body, whole.last<kScalarBytes>()) || !body.empty()) {
    return std::nullopt;
  }
  return raw;
}

std::optional<P256Point> p256_point_of_key_info(std::span<const uint8_t> der) {
  const std::span<const uint8_t> prefix(kP256KeyInfoPrefix);
  if (der.size() != prefix.size() + 64 || !std::equal(prefix.begin(), prefix.end(), der.begin()))
    return std::nullopt;
  P256Point point;
  std::copy(der.begin() + static_cast<std::ptrdiff_t>(prefix.size()), der.end(), point.begin());
  return point;
}

std::vector<uint8_t> p256_key_info(const P256Point& point) {
  std::vector<uint8_t> der(sizeof kP256KeyInfoPrefix + point.size());
  std::copy(std::begin(kP256KeyInfoPrefix), std::end(kP256KeyInfoPrefix), der.begin());
  std::copy(point.begin(), point.end(), der.begin() + sizeof kP256KeyInfoPrefix);
  return der;
}

}  // namespace quarvel
