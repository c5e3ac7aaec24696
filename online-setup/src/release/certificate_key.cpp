// A minimal DER walk to the SubjectPublicKeyInfo of a certificate:
//   Certificate ::= SEQUENCE { tbsCertificate, signatureAlgorithm, signature }
//   tbsCertificate ::= SEQUENCE { [0] version OPTIONAL, serialNumber,
//     signature, issuer, validity, subject, subjectPublicKeyInfo, ... }
// Every length is checked against the bytes that hold it.
#include "release/certificate_key.h"

#include <optional>

#include "core/sha256.h"

namespace quarvel {
namespace {

constexpr uint8_t kSequence = 0x30;
constexpr uint8_t kVersionTag = 0xA0;  // [0], constructed

// One DER element: its tag, its whole encoding and its content.
struct Element {
  uint8_t tag = 0;
  std::span<const uint8_t> whole;
  std::span<const uint8_t> content;
};

// The element at the start of the bytes; nullopt when its header or its
// content runs past them (or uses forms a certificate never needs here).
std::optional<Element> read_element(std::span<const uint8_t> bytes) {
  if (bytes.size() < 2 || (bytes[0] & 0x1F) == 0x1F)
    return std::nullopt;  // too short, or a multi-byte tag
  size_t header = 2;
  size_t length = bytes[1];
  if (length & 0x80) {
    const size_t count = length & 0x7F;
    if (count == 0 || count > 4 || bytes.size() < header + count)
      return std::nullopt;  // indefinite, or longer than any certificate
    length = 0;
    for (size_t i = 0; i < count; ++i)
      length = (length << 8) | bytes[header + i];
    header += count;
  }
  if (length > bytes.size() - header)
    return std::nullopt;
  return Element{bytes[0], bytes.first(header + length), bytes.subspan(header, length)};
}

}  // namespace

std::string certificate_key_sha256(std::span<const uint8_t> certificate) {
  const std::optional<Element> outer = read_element(certificate);
  if (!outer || outer->tag != kSequence)
    return {};
  const std::optional<Element> to_be_signed = read_element(outer->content);
  if (!to_be_signed || to_be_signed->tag != kSequence)
    return {};
  std::span<const uint8_t> fields = to_be_signed->content;
  // Serial number, signature algorithm, issuer, validity, subject: five
  // fields before the key, six with the version.
  const std::optional<Element> first = read_element(fields);
  const int skipped = first && first->tag == kVersionTag ? 6 : 5;
  for (int i = 0; i < skipped; ++i) {
    const std::optional<Element> field = read_element(fields);
    if (!field)
      return {};
    fields = fields.subspan(field->whole.size());
  }
  const std::optional<Element> key = read_element(fields);
  if (!key || key->tag != kSequence)
    return {};
  Sha256 digest;
  digest.update(key->whole);
  return digest.finish();
}

}  // namespace quarvel
