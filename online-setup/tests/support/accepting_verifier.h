// A manifest signature verifier for unit tests that accepts every signature
// and counts the calls, so a test can write payloads freely. One thread.
#pragma once

#include "release/signed_manifest.h"

namespace quarvel::testing_support {

// The id of the key the tests' manifests name, and a strict DER signature
// (r 1, s 2) in base64 for their "sig".
inline constexpr char kTestManifestKeyId[] =
    "ab0c75afe092df2cf63dcf6cd6ade96039ea595a806489c8958b3e5a19c78ce3";
inline constexpr char kAnySignature[] = "MAYCAQECAQI=";

struct AcceptingVerifier final : ManifestSignatureVerifier {
  int calls = 0;
  bool verify(const P256Point&, std::string_view, const RawEcdsaSignature&) override {
    ++calls;
    return true;
  }
};

}  // namespace quarvel::testing_support
