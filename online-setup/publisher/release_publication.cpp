// Publishing a release: the package measured and hashed (or a published
// manifest taken up again), the manifest composed and, with keys, signed,
// judged by the installer's own rules, then written through a temporary file
// that must read back as accepted. Main thread of the publisher.
#include "publisher/release_publication.h"

#include <charconv>
#include <memory>
#include <span>
#include <utility>

#include <nlohmann/json.hpp>

#include "core/json_text.h"
#include "core/paths.h"
#include "core/random_source.h"
#include "core/replacing_write.h"
#include "core/sha256.h"
#include "core/utc_time.h"
#include "http/allowed_hosts.h"
#include "http/https_address.h"
#include "http/manifest_fetch.h"
#include "http/transport_messages.h"
#include "publisher/manifest_signing.h"
#include "release/chunk_map.h"
#include "release/chunk_map_builder.h"
#include "release/package_verification.h"
#include "release/release_manifest.h"
#include "release/signed_manifest.h"
#include "release/upgrade_plan.h"

namespace quarvel {
namespace {

constexpr char kManifestName[] = "latest.json";
// The most an earlier serial (seconds since 1970) may lie ahead of the clock.
constexpr uint64_t kMostSerialAhead = 365 * 86'400;

// The package as measured: its size, digest and chunk map.
struct PackageFacts {
  uint64_t bytes = 0;
  std::string sha256;
  std::string chunk_map;  // the map's bytes
};

// What a publication writes: the release members (outside and in the
// payload), those only the payload carries, and a new chunk map when the
// package was measured (re-signing keeps the one published with it).
struct ReleaseContent {
  nlohmann::json members;
  nlohmann::json payload_only = nlohmann::json::object();
  std::optional<std::string> chunk_map;
  // The verified serial of the manifest re-signed, which counts as an earlier one.
  std::optional<uint64_t> serial;
};

// The "build" member: the number when the text is a decimal integer that fits
// 64 bits, else the text itself, which the manifest rules then refuse with the
// message they give a served manifest whose build is no integer.
nlohmann::json build_member(const std::string& text) {
  uint64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (!text.empty() && stop == end && error == std::errc())
    return value;
  return text;
}

// "Quarvel-{displayVersion}-b{build}-Windows-x64-Setup.exe" under
// "/downloads/quarvel/{version}/": the only layout the installer accepts.
std::string upload_path(const ReleaseInput& input, const nlohmann::json& build) {
  const std::string build_text =
      build.is_number() ? std::to_string(build.get<uint64_t>()) : input.build;
  return package_folder_path(input.version) +
         package_file_name_for(input.display_version, build_text);
}

nlohmann::json package_members(const ReleaseInput& input, const PackageFacts& package) {
  const nlohmann::json build = build_member(input.build);
  return {
      {"schema", 1},
      {"product", "quarvel"},
      {"platform", "windows-x64"},
      {"channel", "cef-offline"},
      {"build", build},
      {"version", input.version},
      {"displayVersion", input.display_version},
      {"bytes", package.bytes},
      {"sha256", package.sha256},
      {"url", "https://" + input.package_host + upload_path(input, build)},
  };
}

// How the installer judges a publication: the package host it was built for
// and, for a signed manifest, the keys just used and the time.
struct InstallerView {
  std::string package_host;
  std::span<const ManifestKey> keys;  // none: an unsigned manifest
  int64_t now = 0;                    // seconds since 1970
};

// The installer's verdict, in the order it meets the release: the fetch's body
// limit, the manifest rules (as installers without manifest keys read it),
// for a signed manifest its signature, payload and expiry, then the
// transport's rule for the package address. Returns the message of the first
// rule that refuses.
Status check_as_installer(const std::string& text, const InstallerView& installer) {
  if (text.size() > kManifestBodyLimit)
    return Failure{kManifestTooLargeMessage};
  const Result<ReleaseManifest> manifest = parse_release_manifest(text, installer.package_host);
  if (!manifest)
    return manifest.failure();
  if (!installer.keys.empty()) {
    const ManifestPolicy policy{kDefaultMinimumBuild, installer.keys, &system_manifest_verifier()};
    const Result<SignedManifest> signed_manifest =
        accept_signed_manifest(text, installer.package_host, policy);
    if (!signed_manifest)
      return signed_manifest.failure();
    if (has_expired(*signed_manifest, installer.now))
      return Failure{manifest_expired_message(signed_manifest->expires)};
  }
  const Result<HttpsTarget> target = split_https_address(
      manifest->url, AllowedHosts{{installer.package_host}, {installer.package_host}});
  if (!target)
    return target.failure();
  if (!is_dns_host_name(installer.package_host))
    return Failure{kInvalidHostMessage};
  return Ok{};
}

// The package's size, digest and chunk map, from one pass; "cannot open the
// package: PATH" when it cannot be opened, the system error text when it
// cannot be read, and a refusal when the reads return another number of
// bytes than the size measured first (a file still being copied or signed in
// place).
Result<PackageFacts> measure_package(FileSystem& files, const std::string& path) {
  const Result<std::unique_ptr<ReadableFile>> opened = files.open_read(path);
  if (!opened)
    return Failure{"cannot open the package: " + path};
  ReadableFile* const file = opened->get();
  const Result<uint64_t> size = file->size();
  if (!size)
    return size.failure();
  ChunkMapBuilder chunks;
  Result<FileDigest> digest =
      file_sha256(*file, [&](std::span<const uint8_t> piece) { chunks.add(piece); });
  if (!digest)
    return digest.failure();
  if (digest->bytes != *size) {
    return Failure{"the package changed while it was read (" + std::to_string(*size) +
                   " bytes measured, " + std::to_string(digest->bytes) +
                   " read); publish it once it is complete: " + path};
  }
  const std::optional<ChunkDigest> package_sha256 = digest_from_hex(digest->sha256);
  const std::optional<ChunkMap> map =
      package_sha256 ? chunks.finish(*package_sha256) : std::nullopt;
  if (!map)
    return Failure{"cannot hash the package: " + path};
  return PackageFacts{*size, std::move(digest->sha256), encode_chunk_map(*map)};
}

// The payload's member naming the map: its size and SHA-256.
nlohmann::json chunk_map_member(const std::string& map) {
  return {{kChunkMapMember, {{"bytes", map.size()}, {"sha256", sha256_hex(map)}}}};
}

// Reads the temporary file back and judges what was read. Returns the first
// failure (a file error, a difference, or the installer's message).
Status check_temporary(FileSystem& files,
                       const InstallerView& installer,
                       const std::string& text,
                       const std::string& temporary) {
  const Result<std::string> written = read_file_up_to(files, temporary, kManifestBodyLimit);
  if (!written)
    return Failure{"cannot read back " + temporary + ": " + written.message()};
  if (*written != text)
    return Failure{"latest.json did not read back as written: " + temporary};
  return check_as_installer(*written, installer);
}

// Writes the manifest through a temporary file of its own, which must read
// back as accepted. Returns the first failure.
Status write_manifest(FileSystem& files,
                      const InstallerView& installer,
                      const std::string& out_dir,
                      const std::string& text,
                      const std::string& final_path) {
  const Status folder = files.create_directories(out_dir);
  if (!folder)
    return folder;
  return write_replacing(files, system_random_source(), final_path, text,
                         [&](const std::string& temporary) {
                           return check_temporary(files, installer, text, temporary);
                         });
}

// The keys the publisher signs with, and those it trusts on manifests it takes
// up again: theirs and the previous keys'.
struct PublisherKeys {
  std::vector<ManifestSigner> signers;
  std::vector<ManifestPublicKey> previous;
  std::vector<ManifestKey> trusted;  // views of the two above, the signers' first
};

Result<PublisherKeys> load_keys(FileSystem& files, const ReleaseInput& input) {
  PublisherKeys keys;
  for (const std::string& path : input.signing_keys) {
    Result<ManifestSigner> signer = ManifestSigner::load(files, path);
    if (!signer)
      return signer.failure();
    keys.signers.push_back(std::move(signer).value());
  }
  for (const std::string& path : input.previous_keys) {
    Result<ManifestPublicKey> key = load_manifest_public_key(files, path);
    if (!key)
      return key.failure();
    keys.previous.push_back(std::move(key).value());
  }
  for (const ManifestSigner& signer : keys.signers)
    keys.trusted.push_back(ManifestKey{signer.id(), signer.point()});
  for (const ManifestPublicKey& key : keys.previous)
    keys.trusted.push_back(ManifestKey{key.id, key.point});
  return keys;
}

// The release members of the measured package, or of the verified payload of
// the manifest to re-sign.
Result<ReleaseContent> release_content(FileSystem& files,
                                       const ReleaseInput& input,
                                       std::span<const ManifestKey> trusted) {
  if (!input.resign.empty()) {
    const Result<std::string> text = read_file_up_to(files, input.resign, kManifestBodyLimit);
    if (!text)
      return Failure{"cannot read the manifest to re-sign: " + input.resign};
    const Result<nlohmann::json> content = verified_content(*text, trusted);
    if (!content)
      return Failure{"cannot re-sign " + input.resign + ": " + content.message()};
    return ReleaseContent{release_members(*content), payload_only_members(*content), std::nullopt,
                          published_serial(*content)};
  }
  Result<PackageFacts> package = measure_package(files, input.package);
  if (!package)
    return package.failure();
  return ReleaseContent{package_members(input, *package), chunk_map_member(package->chunk_map),
                        std::move(package->chunk_map), std::nullopt};
}

// Writes the chunk map through a temporary file of its own, which must read
// back as written and as a map of the package the members name. Returns the
// first failure.
Status write_chunk_map(FileSystem& files,
                       const nlohmann::json& members,
                       const std::string& map,
                       const std::string& path) {
  const uint64_t package_bytes = members.at("bytes").get<uint64_t>();
  const ChunkDigest package_sha256 = *digest_from_hex(members.at("sha256").get<std::string>());
  return write_replacing(
      files, system_random_source(), path, map, [&](const std::string& temporary) -> Status {
        const Result<std::string> written = read_file_up_to(files, temporary, map.size());
        if (!written)
          return Failure{"cannot read back " + temporary + ": " + written.message()};
        if (*written != map)
          return Failure{"the chunk map did not read back as written: " + temporary};
        const Result<ChunkMap> decoded = decode_chunk_map(*written, package_bytes, package_sha256);
        if (!decoded)
          return decoded.failure();
        return Ok{};
      });
}

// The serial of the manifest in the file when a trusted key signed it;
// nullopt when it is missing, unreadable, unsigned or signed by anyone else.
std::optional<uint64_t> verified_serial_in_file(FileSystem& files,
                                                const std::string& path,
                                                std::span<const ManifestKey> trusted) {
  const Result<std::string> text = read_file_up_to(files, path, kManifestBodyLimit);
  const Result<nlohmann::json> content =
      text ? verified_content(*text, trusted) : Result<nlohmann::json>(text.failure());
  return content ? published_serial(*content) : std::nullopt;
}

// The signed text, with a serial above the verified serials of the
// latest.json being replaced and of the one re-signed; the serial and
// expiry go into the publication. An earlier serial more than a year ahead
// of the clock is refused: published, it would hold every later serial above
// it, and a wrong clock (or a file written by mistake) should be looked at
// first.
Result<std::string> signed_text(FileSystem& files,
                                const ReleaseContent& release,
                                const PublisherKeys& keys,
                                uint32_t expires_in_days,
                                int64_t now,
                                Publication& publication) {
  std::optional<uint64_t> earlier =
      verified_serial_in_file(files, publication.manifest_path, keys.trusted);
  if (release.serial && (!earlier || *release.serial > *earlier))
    earlier = release.serial;
  const uint64_t from_clock = now > 0 ? static_cast<uint64_t>(now) : 0;
  if (earlier && *earlier > from_clock && *earlier - from_clock > kMostSerialAhead) {
    return Failure{"the earlier serial " + std::to_string(*earlier) +
                   " is more than a year ahead of the clock (" + format_utc_time(now) +
                   "): check this machine's clock and the manifest that carries it"};
  }
  publication.serial = next_serial(now, earlier);
  if (!publication.serial)
    return Failure{"the earlier serial " + std::to_string(*earlier) + " leaves no higher one"};
  publication.expires = now + int64_t{expires_in_days} * 86'400;
  return signed_manifest_text(release.members, release.payload_only, *publication.serial,
                              publication.expires, keys.signers);
}

// The map of the release compared with, read strictly for the package its
// header names.
Result<ChunkMap> map_to_compare_with(FileSystem& files, const std::string& path) {
  const Result<std::string> bytes = read_file_up_to(files, path, largest_chunk_map_size());
  Result<ChunkMap> map =
      bytes ? decode_self_described_chunk_map(*bytes) : Result<ChunkMap>(bytes.failure());
  if (!map)
    return Failure{"cannot read the chunk map to compare with: " + path + ": " + map.message()};
  return map;
}

// What an installer holding the compared release costs to upgrade to the
// measured package, whose map the publication holds.
Result<UpgradeCost> upgrade_cost(FileSystem& files,
                                 const std::string& compare_with,
                                 const std::string& new_map) {
  const Result<ChunkMap> old_map = map_to_compare_with(files, compare_with);
  if (!old_map)
    return old_map.failure();
  const Result<ChunkMap> map = decode_self_described_chunk_map(new_map);
  if (!map)
    return map.failure();
  return cost_of(plan_upgrade(map->chunks, old_map->chunks));
}

}  // namespace

Result<Publication> publish_release(FileSystem& files,
                                    WallClock& clock,
                                    const ReleaseInput& input) {
  const Result<PublisherKeys> keys = load_keys(files, input);
  if (!keys)
    return keys.failure();
  const Result<ReleaseContent> release = release_content(files, input, keys->trusted);
  if (!release)
    return release.failure();
  const nlohmann::json& members = release->members;
  // The installer trusts the keys that sign, the first of the trusted ones.
  const InstallerView installer{input.package_host,
                                std::span(keys->trusted).first(keys->signers.size()),
                                unix_seconds_of_file_time(clock.file_time_now())};

  Publication publication;
  publication.manifest_path = join_path(input.out_dir, kManifestName);
  if (!input.compare_with.empty() && release->chunk_map) {
    const Result<UpgradeCost> cost = upgrade_cost(files, input.compare_with, *release->chunk_map);
    if (!cost)
      return cost.failure();
    publication.upgrade_cost = *cost;
  }
  Result<std::string> text = json_compact(members);
  if (!keys->signers.empty())
    text = signed_text(files, *release, *keys, input.expires_in_days, installer.now, publication);
  if (!text)
    return text.failure();
  const Status accepted = check_as_installer(*text, installer);
  if (!accepted)
    return accepted.failure();
  // The address passed the installer's rules: its path follows the host.
  const std::string url = members.at("url").get<std::string>();
  publication.upload_path = url.substr(("https://" + input.package_host).size());
  if (release->chunk_map) {
    // Before the manifest, which may name it.
    const Status folder = files.create_directories(input.out_dir);
    if (!folder)
      return folder.failure();
    publication.chunk_map_path =
        join_path(input.out_dir, url.substr(url.rfind('/') + 1) + kChunkMapSuffix);
    publication.chunk_map_upload_path = publication.upload_path + kChunkMapSuffix;
    const Status map_written =
        write_chunk_map(files, members, *release->chunk_map, publication.chunk_map_path);
    if (!map_written)
      return map_written.failure();
  }
  const Status written =
      write_manifest(files, installer, input.out_dir, *text, publication.manifest_path);
  if (!written)
    return written.failure();
  return publication;
}

}  // namespace quarvel
