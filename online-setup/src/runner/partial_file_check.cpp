// Reading a partial file back through the chunk check. Install run's thread.
#include "runner/partial_file_check.h"

#include <algorithm>
#include <chrono>
#include <memory>

#include "runner/chunk_check.h"
#include "runner/download_texts.h"

namespace quarvel {
namespace {

constexpr size_t kReadChunk = 65536;
constexpr std::chrono::nanoseconds kProgressInterval = std::chrono::milliseconds(100);

// The end of the last chunk that lies wholly within the first `size` bytes.
uint64_t whole_chunks_end(const ChunkMap& map, uint64_t size) {
  const auto after = std::partition_point(
      map.chunks.begin(), map.chunks.end(),
      [size](const ChunkEntry& chunk) { return chunk.offset + chunk.length <= size; });
  return after == map.chunks.begin() ? 0 : std::prev(after)->offset + std::prev(after)->length;
}

}  // namespace

Result<PartialFileVerdict> check_partial_file(const DownloadEnvironment& env,
                                              const std::string& path,
                                              uint64_t size,
                                              const ChunkMap& map) {
  const uint64_t end = whole_chunks_end(map, size);
  Result<std::unique_ptr<ReadableFile>> opened = env.files.open_read(path);
  if (!opened)
    return opened.failure();
  ChunkCheck check(map.chunks);
  // The progress: at the start, then at most every 0.1 s.
  std::chrono::nanoseconds shown_at = env.clock.now() - kProgressInterval;
  auto buffer = std::make_unique_for_overwrite<uint8_t[]>(kReadChunk);
  while (check.position() < end) {
    if (env.clock.now() - shown_at >= kProgressInterval) {
      shown_at = env.clock.now();
      env.status.set_status(
          checking_partial_text(static_cast<uint32_t>(check.position() * 100 / end)),
          download_percent(check.position(), map.package_bytes));
    }
    if (env.pause_requested.load())
      return Failure{std::string(kDownloadPausedText)};
    const auto wanted = static_cast<size_t>(std::min<uint64_t>(end - check.position(), kReadChunk));
    const Result<size_t> got = (*opened)->read(std::span(buffer.get(), wanted));
    if (!got)
      return got.failure();
    if (*got == 0)
      break;  // shorter than its size said: what matched so far is kept
    if (std::optional<ChunkEntry> bad = check.take(std::span(buffer.get(), *got)))
      return PartialFileVerdict{bad->offset, bad};
  }
  return PartialFileVerdict{check.checked_end(), std::nullopt};
}

}  // namespace quarvel
