// The content-defined chunker of the chunk map: where a package is cut into
// chunks is decided by the bytes themselves (a gear hash over the bytes since
// the chunk's minimum size, FastCDC's normalised chunking), so bytes inserted
// or removed early in a file move only the boundaries around them and later
// chunks keep their digests. Pure; one object per pass, on the caller's
// thread (the publisher's main thread).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace quarvel {

// The chunking of chunk map version 1. A later publisher that cut with other
// figures would make maps that no installer could match against an older
// package, so the figures never change under this version.
//
// About 64 KiB on average: small enough that a bad byte costs little and an
// upgrade copies most of a package, large enough that the map of the largest
// package stays small (36 bytes a chunk). The minimum is a quarter of the
// average and the maximum four times it, as content-defined chunkers
// commonly choose: the minimum bounds the map's size for any content (every
// chunk but the last has at least that many bytes), the maximum bounds a
// chunk that never finds a boundary (long runs of one byte).
inline constexpr uint32_t kMinChunkBytes = 16384;
inline constexpr uint32_t kAverageChunkBytes = 65536;
inline constexpr uint32_t kMaxChunkBytes = 262144;

// Cuts one byte stream into chunks. Feed the stream in pieces of any size.
class ContentChunker {
 public:
  // Where the current chunk ends among `bytes`.
  struct Cut {
    size_t used = 0;    // bytes of `bytes` that belong to the current chunk
    bool ends = false;  // the chunk ends after them; the next one starts
  };

  // Scans `bytes`, which follow the bytes scanned so far. When the current
  // chunk ends among them, returns its end (the rest of `bytes` belongs to
  // the next chunk: scan it again); otherwise all of them are used. At the
  // end of the stream whatever was scanned since the last cut is the last
  // chunk. Cannot fail.
  Cut scan(std::span<const uint8_t> bytes);

 private:
  uint64_t length_ = 0;  // bytes of the current chunk so far
  uint64_t hash_ = 0;    // the gear hash of its bytes after the minimum
};

}  // namespace quarvel
