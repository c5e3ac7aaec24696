// The key of an X.509 certificate in the form a signer pin names it. Pure,
// any thread.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace quarvel {

// The lower-case hexadecimal SHA-256 of a DER certificate's
// SubjectPublicKeyInfo, exactly as encoded in it (what `openssl x509 -pubkey
// | openssl pkey -pubin -outform DER | sha256sum` prints); empty when the
// bytes are not a certificate of that shape.
std::string certificate_key_sha256(std::span<const uint8_t> certificate);

}  // namespace quarvel
