// Publishing a release: the manifest of one package file, written to a folder
// only once the installer's own rules accept it. Main thread of the publisher.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/file_system.h"
#include "core/result.h"
#include "release/upgrade_plan.h"

namespace quarvel {

// What the vendor gives for one release.
struct ReleaseInput {
  std::string package;          // path of the setup package file
  std::string version;          // "version", for example 1.4.2
  std::string display_version;  // "displayVersion", for example 1.4
  std::string build;            // "build", decimal text
  std::string package_host;     // the host that will serve the package
  std::string out_dir;          // the folder that receives latest.json
  // PEM private keys (P-256) that sign the manifest, one signature each;
  // none: the manifest is written unsigned, as installers without manifest
  // keys read it.
  std::vector<std::string> signing_keys;
  // PEM public keys (P-256) whose signatures, besides the signing keys', are
  // trusted on the manifest re-signed and on the latest.json being replaced
  // (a key being rotated out).
  std::vector<std::string> previous_keys;
  uint32_t expires_in_days = 30;  // a signed manifest's validity
  // An existing latest.json to sign again with a new serial and expiry; the
  // package and its four options are then not given, and nothing is measured.
  std::string resign;
  // The chunk map of an earlier release: the publication says what an
  // upgrade from it costs. Empty: none.
  std::string compare_with;
};

// What was published.
struct Publication {
  std::string manifest_path;  // out_dir joined with "latest.json"
  std::string upload_path;    // where the package goes on the package host
  // The package's chunk map: out_dir joined with the package's file name and
  // ".chunks", and where it goes on every package host (beside the
  // package). Empty when re-signing, which writes none.
  std::string chunk_map_path;
  std::string chunk_map_upload_path;
  // A signed manifest's serial and expiry (seconds since 1970).
  std::optional<uint64_t> serial;
  int64_t expires = 0;
  // With compare_with: what an installer holding that release copies and
  // fetches to upgrade to this package.
  std::optional<UpgradeCost> upgrade_cost;
};

// The chunk map's name: the package's file name followed by this.
inline constexpr char kChunkMapSuffix[] = ".chunks";

// Measures and hashes the package and cuts it into its chunk map (or, to
// re-sign, takes the release members and the chunk map's member of the given
// latest.json's signed payload, which a signing or previous key must have
// signed), composes the manifest (compact JSON, keys in byte order; with
// signing keys, signed with a serial from the clock above any earlier one's,
// in the signed payload of out_dir's latest.json or of the one re-signed when
// a signing or previous key signed it, and an expiry that many days from now,
// the payload naming the chunk map's size and digest), checks it as the
// installer would (the fetch's size limit, every manifest rule, with keys the
// signature by those keys, the chunk map's member and the expiry, the
// transport's host rule) and writes the chunk map (unless re-signing) and
// then latest.json in out_dir, each through a temporary file of a new name,
// created exclusively, that must read back as accepted (the map by the
// installer's reader) before it takes the final name (on failure only that
// file is removed). On refusal returns the installer's own
// message and writes nothing; "下载主机无效" also for a package host that is no
// DNS host name. Returns "cannot open the package: PATH" for a package that
// cannot be opened, a refusal naming both figures for a package whose reads
// return another number of bytes than its measured size, a signing key's
// refusal (ManifestSigner::load, load_manifest_public_key), "cannot read the
// manifest to re-sign: PATH", "cannot re-sign PATH: " and the installer's
// refusal of its signature, a refusal naming an earlier serial more than a
// year ahead of the clock, "cannot read the chunk map to compare with: PATH"
// (and its reason) for a compare_with file that cannot be read or is no
// chunk map, and the system error text when reading or writing fails.
Result<Publication> publish_release(FileSystem& files, WallClock& clock, const ReleaseInput& input);

}  // namespace quarvel
