// Measures the download engine's own cost for a 1 GiB package: the package
// host is an in-memory pattern, the cache keeps only sizes, the clock is the
// real monotonic clock. Prints MB/s (1 MB = 1,048,576 bytes) for the engine's
// own work (the host copies nothing), for the transfer with a host that copies
// every byte, for the SHA-256 verification alone, for the chunk checks of the
// package's chunk map alone, and for the whole call; then the chunk map's size
// for packages of 20,000,000 and 4,294,967,295 bytes of the pattern. One
// thread.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/random_source.h"
#include "core/sha256.h"
#include "release/chunk_map.h"
#include "release/chunk_map_builder.h"
#include "release/package_verification.h"
#include "runner/cache_files.h"
#include "runner/chunk_check.h"
#include "runner/download_engine.h"

namespace quarvel {
namespace {

constexpr uint64_t kPackageBytes = uint64_t{1} << 30;
constexpr size_t kChunk = 65536;
constexpr size_t kPeriod = 1048573;  // prime, so segments and chunks never line up with it
constexpr char kCacheDir[] = "C:\\bench";
constexpr int kRounds = 3;

// Byte i of the package is pattern[i % kPeriod]; the tail repeats the head so
// that any chunk can be copied in one piece.
std::vector<uint8_t> make_pattern() {
  std::vector<uint8_t> pattern(kPeriod + kChunk);
  uint64_t state = 0x9E3779B97F4A7C15u;
  for (size_t i = 0; i < kPeriod; ++i) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    pattern[i] = static_cast<uint8_t>(state >> 32);
  }
  std::copy_n(pattern.begin(), kChunk, pattern.begin() + kPeriod);
  return pattern;
}

// Package bytes position..end - 1, read front to back. Without copying, reads
// only count, which leaves the engine's own work to be timed.
class PatternStream {
 public:
  PatternStream(const std::vector<uint8_t>& pattern,
                uint64_t position,
                uint64_t end,
                bool copy = true)
      : pattern_(pattern), position_(position), end_(end), copy_(copy) {}
  // Copies the next bytes into the buffer; 0 at the end.
  size_t read(std::span<uint8_t> buffer) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(buffer.size(), end_ - position_));
    if (copy_)
      std::copy_n(pattern_.data() + position_ % kPeriod, n, buffer.data());
    position_ += n;
    return n;
  }
  void seek(uint64_t position) { position_ = std::min(position, end_); }

 private:
  const std::vector<uint8_t>& pattern_;
  uint64_t position_;
  uint64_t end_;
  bool copy_;
};

class PatternResponse final : public HttpResponse {
 public:
  PatternResponse(const std::vector<uint8_t>& pattern, uint64_t first, uint64_t last, bool copy)
      : body_(pattern, first, last + 1, copy) {
    content_range_ = "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
                     std::to_string(kPackageBytes);
    content_length_ = std::to_string(last - first + 1);
  }
  uint32_t status() const override { return 206; }
  std::optional<std::string> header(std::string_view name) override {
    if (name == "Content-Range")
      return content_range_;
    if (name == "Content-Length")
      return content_length_;
    return std::nullopt;
  }
  Result<size_t> read(std::span<uint8_t> buffer, const std::atomic<bool>&) override {
    return body_.read(buffer);
  }

 private:
  PatternStream body_;
  std::string content_range_;
  std::string content_length_;
};

class PatternHost final : public HttpClient {
 public:
  PatternHost(const std::vector<uint8_t>& pattern, bool copy) : pattern_(pattern), copy_(copy) {}
  Result<ResponsePtr> http_get(std::string_view, std::optional<ByteRange>) override {
    return Failure{"unused"};
  }
  Result<ResponsePtr> http_get_range(std::string_view,
                                     uint64_t first,
                                     uint64_t last,
                                     uint32_t) override {
    return ResponsePtr(std::make_unique<PatternResponse>(pattern_, first, last, copy_));
  }

 private:
  const std::vector<uint8_t>& pattern_;
  bool copy_;
};

// A package file read back as the pattern, `reported_size` long.
class PatternFile final : public ReadableFile {
 public:
  PatternFile(const std::vector<uint8_t>& pattern, uint64_t size, uint64_t reported_size)
      : content_(pattern, 0, size), reported_size_(reported_size) {}
  Result<uint64_t> size() override { return reported_size_; }
  Result<size_t> read(std::span<uint8_t> buffer) override { return content_.read(buffer); }
  Status seek(uint64_t offset) override {
    content_.seek(offset);
    return Ok{};
  }

 private:
  PatternStream content_;
  uint64_t reported_size_;
};

// A cache that keeps only file sizes and reads every file back as the pattern.
// With misreport_sizes, files read back one byte long, so verification
// answers "no" at once and the transfer is timed without the hashing.
class SizeOnlyFileSystem final : public FileSystem {
 public:
  bool misreport_sizes = false;
  std::map<std::string, uint64_t> sizes;

  explicit SizeOnlyFileSystem(const std::vector<uint8_t>& pattern) : pattern_(pattern) {}
  Status create_directories(const std::string&) override { return Ok{}; }
  std::optional<uint64_t> file_size(const std::string& path) override {
    const auto it = sizes.find(path);
    if (it == sizes.end())
      return std::nullopt;
    return it->second;
  }
  bool is_regular_file(const std::string& path) override { return sizes.count(path) != 0; }
  Result<std::unique_ptr<ReadableFile>> open_read(const std::string& path) override {
    const auto it = sizes.find(path);
    if (it == sizes.end())
      return Failure{"no such file (os error 2)", 2};
    const uint64_t reported = misreport_sizes ? it->second + 1 : it->second;
    return std::unique_ptr<ReadableFile>(
        std::make_unique<PatternFile>(pattern_, it->second, reported));
  }
  Result<std::unique_ptr<ReadableFile>> open_read_deny_write(const std::string& path) override {
    return open_read(path);
  }
  Result<std::unique_ptr<WritableFile>> open_write(const std::string& path,
                                                   WriteMode mode) override {
    uint64_t& size = sizes[path];
    if (mode == WriteMode::kTruncate)
      size = 0;
    return std::unique_ptr<WritableFile>(std::make_unique<SizeOnlyFile>(size));
  }
  Status remove_file(const std::string& path) override {
    sizes.erase(path);
    return Ok{};
  }
  Status rename_replacing(const std::string& from, const std::string& to) override {
    sizes[to] = sizes[from];
    sizes.erase(from);
    return Ok{};
  }
  Result<std::unique_ptr<HeldFile>> hold_exclusively(const std::string&) override {
    return std::make_unique<HeldFile>();  // one run: nothing to hold off
  }

  Result<std::vector<std::string>> list_files(const std::string&) override {
    return std::vector<std::string>();  // no other build's package to upgrade from
  }

  Status truncate_file(const std::string& path, uint64_t size) override {
    sizes[path] = std::min(sizes[path], size);
    return Ok{};
  }

 private:
  class SizeOnlyFile final : public WritableFile {
   public:
    explicit SizeOnlyFile(uint64_t& size) : size_(size) {}
    Status write_all(std::span<const uint8_t> bytes) override {
      size_ += bytes.size();
      return Ok{};
    }
    Status flush() override { return Ok{}; }

   private:
    uint64_t& size_;
  };

  const std::vector<uint8_t>& pattern_;
};

// Keeps the last text, as the shared status record would.
class LastStatus final : public StatusReporter {
 public:
  std::string text;
  uint64_t count = 0;
  void set_status(std::string_view new_text, uint32_t) override {
    text.assign(new_text);
    ++count;
  }
};

double mb_per_second(double seconds) {
  return double(kPackageBytes) / 1048576.0 / seconds;
}

template <class Work>
double best_seconds(Work&& work) {
  double best = 1e300;
  for (int round = 0; round < kRounds; ++round) {
    const auto started = std::chrono::steady_clock::now();
    work();
    best = std::min(
        best, std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
  }
  return best;
}

std::string package_digest(const std::vector<uint8_t>& pattern) {
  Sha256 digest;
  std::vector<uint8_t> buffer(kChunk);
  PatternStream package(pattern, 0, kPackageBytes);
  while (const size_t n = package.read(buffer))
    digest.update(std::span(buffer.data(), n));
  return digest.finish();
}

struct EngineRun {
  bool ok;
  std::string message;
  uint64_t status_texts;
};

// One download_package call into a fresh cache. Without verify, the cache
// misreports the size so that the final verification answers at once.
EngineRun run_engine(const std::vector<uint8_t>& pattern,
                     const ReleaseManifest& manifest,
                     bool copy,
                     bool verify) {
  PatternHost host(pattern, copy);
  SizeOnlyFileSystem files(pattern);
  files.misreport_sizes = !verify;
  LastStatus status;
  const std::atomic<bool> pause{false};
  DownloadStats stats;
  const DownloadEnvironment env{
      host,  files, system_monotonic_clock(), system_wall_clock(), system_random_source(), status,
      pause, stats};
  const Result<std::string> result = download_package(env, kCacheDir, manifest);
  return {result.ok(), result.ok() ? *result : result.message(), status.count};
}

void print_figure(const char* what, double seconds) {
  std::printf("%-46s %8.0f MB/s (%.3f s)\n", what, mb_per_second(seconds), seconds);
}

// The chunk map of the first `bytes` bytes of the package pattern.
ChunkMap pattern_map(const std::vector<uint8_t>& pattern, uint64_t bytes) {
  ChunkMapBuilder builder;
  std::vector<uint8_t> buffer(kChunk);
  PatternStream package(pattern, 0, bytes);
  while (const size_t n = package.read(buffer))
    builder.add(std::span(buffer.data(), n));
  return *builder.finish({});
}

// Every chunk of the 1 GiB package checked against its map, as the engine
// checks the bytes that arrive.
void check_chunks(const std::vector<uint8_t>& pattern, const ChunkMap& map) {
  ChunkCheck check(map.chunks);
  std::vector<uint8_t> buffer(kChunk);
  PatternStream package(pattern, 0, kPackageBytes);
  while (const size_t n = package.read(buffer)) {
    if (check.take(std::span(buffer.data(), n)))
      std::printf("chunk mismatch\n");
  }
}

void print_map_size(const std::vector<uint8_t>& pattern, uint64_t bytes) {
  const ChunkMap map = pattern_map(pattern, bytes);
  std::printf("chunk map of %llu bytes: %zu chunks, %zu bytes (at most %llu)\n",
              static_cast<unsigned long long>(bytes), map.chunks.size(),
              encode_chunk_map(map).size(),
              static_cast<unsigned long long>(chunk_map_size_limit(bytes)));
}

int run() {
  const std::vector<uint8_t> pattern = make_pattern();
  ReleaseManifest manifest;
  manifest.sha256 = package_digest(pattern);
  manifest.url = "https://bench/p.exe";
  manifest.file_name = "p.exe";
  manifest.build = 31;
  manifest.bytes = kPackageBytes;
  EngineRun own{}, copied{}, full{};
  const double own_seconds =
      best_seconds([&] { own = run_engine(pattern, manifest, false, false); });
  const double copied_seconds =
      best_seconds([&] { copied = run_engine(pattern, manifest, true, false); });
  const double full_seconds =
      best_seconds([&] { full = run_engine(pattern, manifest, true, true); });
  const ChunkMap map = pattern_map(pattern, kPackageBytes);
  const double chunk_seconds = best_seconds([&] { check_chunks(pattern, map); });
  const double hash_seconds = best_seconds([&] {
    SizeOnlyFileSystem files(pattern);
    files.sizes["p"] = kPackageBytes;
    if (!*verify_package(files, "p", manifest))
      std::printf("hash mismatch\n");
  });
  if (own.ok || copied.ok || !full.ok) {
    std::printf("unexpected outcome: \"%s\", \"%s\", \"%s\"\n", own.message.c_str(),
                copied.message.c_str(), full.message.c_str());
    return 1;
  }

  std::printf("package: 1024 MB in 128 segments; MB = 1,048,576 bytes; best of %d; %llu texts\n",
              kRounds, static_cast<unsigned long long>(full.status_texts));
  print_figure("engine's own overhead (host copies nothing):", own_seconds);
  print_figure("engine transfer (host copies every byte):", copied_seconds);
  print_figure("SHA-256 verification alone:", hash_seconds);
  print_figure("chunk checks alone:", chunk_seconds);
  print_figure("engine with copying and verification:", full_seconds);
  print_map_size(pattern, 20'000'000);
  print_map_size(pattern, 4'294'967'295);
  return 0;
}

}  // namespace
}  // namespace quarvel

int main() {
  return quarvel::run();
}
