// Publishing a release: the package measured and hashed, the manifest composed
// and judged by the installer's own rules, then written through a temporary
// file that must read back as accepted. Main thread of the publisher.
#include "publisher/release_publication.h"

#include <array>
#include <charconv>
#include <memory>
#include <utility>

#include <nlohmann/json.hpp>

#include "core/json_text.h"
#include "core/package_verification.h"
#include "core/paths.h"
#include "core/random_source.h"
#include "core/release_manifest.h"
#include "core/sha256.h"
#include "http/https_address.h"
#include "http/manifest_fetch.h"
#include "http/transport_messages.h"

namespace quarvel {
namespace {

constexpr char kManifestName[] = "latest.json";
constexpr int kTemporaryNameAttempts = 16;
constexpr size_t kLongestHostName = 253;
constexpr size_t kLongestLabel = 63;

// The package as measured: its size and digest.
struct PackageFacts {
  uint64_t bytes = 0;
  std::string sha256;
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

std::string manifest_text(const ReleaseInput& input, const PackageFacts& package) {
  const nlohmann::json build = build_member(input.build);
  const nlohmann::json manifest = {
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
  return json_compact(manifest);
}

// Labels of 1 to 63 ASCII letters, digits and "-", neither first nor last
// "-", joined by "."; 253 bytes at most. A port, user info, a trailing dot or
// a scheme make the name unreachable as the installer's one host name.
bool is_dns_host_name(std::string_view host) {
  if (host.empty() || host.size() > kLongestHostName)
    return false;
  for (;;) {
    const size_t dot = host.find('.');
    const std::string_view label = host.substr(0, dot);
    if (label.empty() || label.size() > kLongestLabel || label.front() == '-' ||
        label.back() == '-') {
      return false;
    }
    for (const char c : label) {
      const bool alphanumeric =
          (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
      if (!alphanumeric && c != '-')
        return false;
    }
    if (dot == std::string_view::npos)
      return true;
    host.remove_prefix(dot + 1);
  }
}

// The installer's verdict, in the order it meets the release: the fetch's body
// limit, the manifest rules, then the transport's rule for the package address.
// Returns the message of the first rule that refuses.
Status check_as_installer(const std::string& text, const std::string& package_host) {
  if (text.size() > kManifestBodyLimit)
    return Failure{kManifestTooLargeMessage};
  const Result<ReleaseManifest> manifest = parse_release_manifest(text, package_host);
  if (!manifest)
    return manifest.failure();
  const Result<HttpsTarget> target =
      split_https_address(manifest->url, AllowedHosts{package_host, package_host});
  if (!target)
    return target.failure();
  if (!is_dns_host_name(package_host))
    return Failure{kInvalidHostMessage};
  return Ok{};
}

// The package's size and digest; "cannot open the package: PATH" when it cannot
// be opened, the system error text when it cannot be read, and a refusal when
// the reads return another number of bytes than the size measured first (a
// file still being copied or signed in place).
Result<PackageFacts> measure_package(FileSystem& files, const std::string& path) {
  const Result<std::unique_ptr<ReadableFile>> opened = files.open_read(path);
  if (!opened)
    return Failure{"cannot open the package: " + path};
  ReadableFile* const file = opened->get();
  const Result<uint64_t> size = file->size();
  if (!size)
    return size.failure();
  Result<FileDigest> digest = file_sha256(*file);
  if (!digest)
    return digest.failure();
  if (digest->bytes != *size) {
    return Failure{"the package changed while it was read (" + std::to_string(*size) +
                   " bytes measured, " + std::to_string(digest->bytes) +
                   " read); publish it once it is complete: " + path};
  }
  return PackageFacts{*size, std::move(digest->sha256)};
}

// The file's bytes, up to one more than the manifest fetch would take; the
// system error text when a read fails.
Result<std::string> read_back(FileSystem& files, const std::string& path) {
  const Result<std::unique_ptr<ReadableFile>> opened = files.open_read(path);
  if (!opened)
    return Failure{"cannot read back " + path};
  ReadableFile* const file = opened->get();
  std::string bytes;
  std::array<uint8_t, 4096> buffer;
  while (bytes.size() <= kManifestBodyLimit) {
    const Result<size_t> read = file->read(buffer);
    if (!read)
      return read.failure();
    if (*read == 0)
      break;
    bytes.append(reinterpret_cast<const char*>(buffer.data()), *read);
  }
  return bytes;
}

// A temporary file of this run's own beside the manifest: a new name
// ("latest.json." + 16 random hexadecimal digits + ".tmp") created
// exclusively, so no other file is ever overwritten. The system error text
// when it cannot be created.
Result<std::pair<std::string, std::unique_ptr<WritableFile>>> create_temporary(
    FileSystem& files,
    const std::string& out_dir) {
  constexpr uint32_t kFileExists = 80;
  for (int attempt = 1;; ++attempt) {
    const uint64_t tag = system_random_source().next();
    const std::span tag_bytes(reinterpret_cast<const uint8_t*>(&tag), sizeof tag);
    std::string path =
        join_path(out_dir, std::string(kManifestName) + "." + lower_hex(tag_bytes) + ".tmp");
    Result<std::unique_ptr<WritableFile>> file = files.open_write(path, WriteMode::kCreateNew);
    if (file)
      return std::pair(std::move(path), std::move(file).value());
    if (file.failure().system_error != kFileExists || attempt == kTemporaryNameAttempts)
      return file.failure();
  }
}

// Writes the text to the open file and flushes it; the system error text on failure.
Status write_flushed(WritableFile& file, const std::string& text) {
  const Status written =
      file.write_all(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
  if (!written)
    return written;
  return file.flush();
}

// Reads the temporary file back, judges what was read and gives it the
// final name. Returns the first failure (a file error, a difference, or the
// installer's message).
Status publish_temporary(FileSystem& files,
                         const ReleaseInput& input,
                         const std::string& text,
                         const std::string& temporary,
                         const std::string& final_path) {
  const Result<std::string> written = read_back(files, temporary);
  if (!written)
    return written.failure();
  if (*written != text)
    return Failure{"latest.json did not read back as written: " + temporary};
  if (Status accepted = check_as_installer(*written, input.package_host); !accepted)
    return accepted;
  return files.rename_replacing(temporary, final_path);
}

// Writes the manifest through a temporary file of its own. Returns the first
// failure; the temporary file, which this run created, is removed on every
// failure after its creation.
Status write_manifest(FileSystem& files,
                      const ReleaseInput& input,
                      const std::string& text,
                      const std::string& final_path) {
  const Status folder = files.create_directories(input.out_dir);
  if (!folder)
    return folder;
  auto temporary = create_temporary(files, input.out_dir);
  if (!temporary)
    return temporary.failure();
  auto& [path, file] = *temporary;
  Status status = write_flushed(*file, text);
  file.reset();  // closed before it is read back and renamed
  if (status)
    status = publish_temporary(files, input, text, path, final_path);
  if (!status)
    (void)files.remove_file(path);
  return status;
}

}  // namespace

Result<Publication> publish_release(FileSystem& files, const ReleaseInput& input) {
  const Result<PackageFacts> package = measure_package(files, input.package);
  if (!package)
    return package.failure();
  const std::string text = manifest_text(input, *package);
  const Status accepted = check_as_installer(text, input.package_host);
  if (!accepted)
    return accepted.failure();

  Publication publication{join_path(input.out_dir, kManifestName),
                          upload_path(input, build_member(input.build))};
  const Status written = write_manifest(files, input, text, publication.manifest_path);
  if (!written)
    return written.failure();
  return publication;
}

}  // namespace quarvel
