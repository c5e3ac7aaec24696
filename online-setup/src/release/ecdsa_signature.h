// The forms of ECDSA P-256 signatures and keys: the DER SEQUENCE of r and s
// that OpenSSL writes (and the signed manifest carries) and r then s as 32
// big-endian bytes each, which CNG verifies; a key's DER SubjectPublicKeyInfo
// (which its id hashes) and its point. Pure, any thread.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace quarvel {

// r then s, 32 bytes each, big-endian.
using RawEcdsaSignature = std::array<uint8_t, 64>;

// The raw form of a DER signature that is exactly one SEQUENCE (short-form
// length) of two INTEGERs, each positive, minimally encoded and at most 32
// significant bytes, with nothing after it; nullopt for anything else.
std::optional<RawEcdsaSignature> ecdsa_der_to_raw(std::span<const uint8_t> der);

// X then Y, 32 big-endian bytes each.
using P256Point = std::array<uint8_t, 64>;

// The point of the DER SubjectPublicKeyInfo of a P-256 key (named curve
// prime256v1, uncompressed point); nullopt for any other key or encoding.
std::optional<P256Point> p256_point_of_key_info(std::span<const uint8_t> der);

// The DER SubjectPublicKeyInfo of the P-256 key with that point. Cannot fail.
std::vector<uint8_t> p256_key_info(const P256Point& point);

}  // namespace quarvel
