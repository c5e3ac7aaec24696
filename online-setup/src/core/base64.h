// Standard base64 (RFC 4648, section 4, with padding) for the signed
// manifest: its payload and its signatures. Pure functions, any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quarvel {

// The text of the bytes, padded with "=" to a multiple of four characters.
std::string base64_encode(std::string_view bytes);

// The bytes of a text that is exactly what base64_encode writes for them:
// nullopt for a length that is no multiple of four, a character outside the
// alphabet (white space and line breaks included), padding anywhere but in
// the last one or two places, or padding bits that are not zero.
std::optional<std::string> base64_decode(std::string_view text);

}  // namespace quarvel
