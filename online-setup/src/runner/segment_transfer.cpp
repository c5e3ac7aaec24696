#include "runner/segment_transfer.h"

#include <algorithm>
#include <chrono>
#include <limits>

#include "http/package_host_choice.h"
#include "http/retry_after.h"
#include "runner/cache_files.h"
#include "runner/download_texts.h"
#include "runner/segment_acceptance.h"
#include "runner/token_bucket.h"

namespace quarvel {
namespace {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;

constexpr uint64_t kSegmentSize = 8388608;
constexpr uint32_t kAttemptLimit = 5;
constexpr std::chrono::seconds kRetryDelay{1};
// Without a hint from the server the wait is drawn from 1 to 2 s in whole
// milliseconds, so that clients that failed together do not all come back
// together. A Retry-After hint is obeyed up to 30 s: a longer one would look
// like a hang, and five attempts then still span two minutes. A hint holds
// back only the host that sent it: the next attempt, on the next listed host,
// waits for that host's own hint if it still runs, else a draw.
constexpr uint64_t kRetrySpreadMilliseconds = 1000;
constexpr std::chrono::seconds kLongestHintedWait{30};
constexpr size_t kReadChunk = 65536;
constexpr nanoseconds kSegmentDeadline = std::chrono::seconds(60);
constexpr nanoseconds kProgressInterval = std::chrono::milliseconds(100);

enum class AttemptEnd { kCompleted, kFailed, kFatal, kPaused };

struct AttemptOutcome {
  AttemptEnd end;
  std::string text;  // the reason of a failed attempt, the message of a fatal one
  std::optional<std::chrono::seconds> wait_hint = {};  // a busy server's Retry-After
  std::optional<uint64_t> cut_to = {};                 // a chunk that did not match began here
};

AttemptOutcome failed(std::string_view reason) {
  return {AttemptEnd::kFailed, std::string(reason)};
}

AttemptOutcome fatal(std::string_view message) {
  return {AttemptEnd::kFatal, std::string(message)};
}

Failure paused() {
  return Failure{std::string(kDownloadPausedText)};
}

// Up to 8 MiB from the offset, never past `end` (the package's end, or that
// of the range an upgrade fetches).
ByteRange segment_from(uint64_t offset, uint64_t end) {
  constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
  const uint64_t span_last = offset > kMax - (kSegmentSize - 1) ? kMax : offset + kSegmentSize - 1;
  return {offset, std::min(end - 1, span_last)};
}

// The working state of one transfer: the offset, the attempt counter, the
// speed window, the file and the one transfer buffer.
class SegmentTransfer {
 public:
  SegmentTransfer(const DownloadEnvironment& env,
                  const std::string& cache_dir,
                  const TransferTarget& target,
                  uint64_t start_offset,
                  DownloadRequests& requests,
                  ChunkCheck* check,
                  UpgradeAssembly* assembly)
      : env_(env),
        cache_dir_(cache_dir),
        target_(target),
        package_(target.kind == TransferKind::kPackage),
        requests_(requests),
        check_(check),
        assembly_(assembly),
        counts_sources_(package_ && check != nullptr),
        buffer_(std::make_unique_for_overwrite<uint8_t[]>(kReadChunk)),
        name_hosts_(env.hosts != nullptr && env.hosts->several()),
        start_offset_(start_offset),
        offset_(start_offset) {}

  // The whole transfer; the file is closed when it ends, on every path.
  Status run() {
    if (Status opened = open(start_offset_ > 0 ? WriteMode::kAppend : WriteMode::kTruncate);
        !opened) {
      return opened;
    }
    restart_speed_window();
    if (env_.rate_cap > 0)
      cap_.emplace(env_.rate_cap, env_.clock.now());
    if (package_)
      env_.stats.reset(start_offset_);
    if (counts_sources_)
      env_.stats.set_base_bytes(0);
    Status result = transfer_segments();
    file_.reset();
    if (result && assembly_)
      log(base_sources_log_line(copied_, offset_ - start_offset_ - copied_));
    return result;
  }

 private:
  Status transfer_segments();
  Result<uint64_t> copy_from_base();
  Status copy_chunk(const UpgradeAssembly::Turn& copy);
  void note_copies();
  AttemptOutcome attempt(ByteRange range);
  AttemptOutcome busy(HttpResponse& response, uint32_t status);
  AttemptOutcome receive(HttpResponse& response, ByteRange range);
  bool wait_for_cap(size_t bytes, nanoseconds& waited);
  void report_progress(bool segment_complete);
  std::optional<AttemptOutcome> mismatch_in(std::span<const uint8_t> bytes);
  Status cut_back(uint64_t offset);
  Status conclude_attempt(const AttemptOutcome& outcome);
  Status retry_after(const AttemptOutcome& failure);
  nanoseconds fail_over_wait(std::optional<std::chrono::seconds> hint);

  Status open(WriteMode mode) {
    Result<std::unique_ptr<WritableFile>> opened = env_.files.open_write(target_.path, mode);
    if (!opened)
      return opened.failure();
    file_ = std::move(opened).value();
    return Ok{};
  }
  bool pausing() const { return env_.pause_requested.load(); }
  void log(std::string_view line) { append_network_log(env_.files, cache_dir_, line); }
  // The status texts of a map transfer show the package's progress.
  uint64_t shown_offset() const { return package_ ? offset_ : target_.package_kept; }
  void report(std::string_view text) {
    const uint64_t total = package_ ? target_.bytes : target_.package_bytes;
    if (counts_sources_)
      env_.status.note_sources(PackageSources{copied_, offset_ - start_offset_ - copied_});
    env_.status.set_status(text, download_percent(shown_offset(), total));
  }
  void restart_speed_window() {
    window_start_ = env_.clock.now();
    window_offset_ = offset_;
  }

  const DownloadEnvironment& env_;
  const std::string& cache_dir_;
  const TransferTarget& target_;
  const bool package_;  // the package; else its chunk map
  DownloadRequests& requests_;
  ChunkCheck* const check_;          // nullptr: nothing to check against
  UpgradeAssembly* const assembly_;  // nullptr: every byte is fetched
  const bool counts_sources_;        // the package, with a chunk map
  std::unique_ptr<WritableFile> file_;
  std::unique_ptr<uint8_t[]> buffer_;
  std::optional<TokenBucket> cap_;  // under a rate cap
  const bool name_hosts_;           // the request lines name the host
  const uint64_t start_offset_;
  uint64_t offset_;
  uint64_t copied_ = 0;   // bytes copied from the base, all checked
  uint32_t attempt_ = 0;  // failed attempts since the last completed segment
  nanoseconds window_start_{};
  uint64_t window_offset_ = 0;
};

Status SegmentTransfer::transfer_segments() {
  while (offset_ < target_.bytes) {
    if (pausing())
      return paused();
    uint64_t end = target_.bytes;
    if (assembly_) {
      const Result<uint64_t> fetch_end = copy_from_base();
      if (!fetch_end)
        return fetch_end.failure();
      if (offset_ >= target_.bytes)
        break;
      end = *fetch_end;
    }
    const ByteRange range = segment_from(offset_, end);
    const uint32_t request = ++requests_.count;
    report(package_ ? connecting_text(offset_, target_.bytes) : std::string(kFetchingChunkMapText));
    log(request_log_line(request, range, target_.bytes, attempt_,
                         name_hosts_ ? requests_.hosts.host() : std::string_view(),
                         package_ ? "range" : "map"));
    const AttemptOutcome outcome = attempt(range);
    if (outcome.end == AttemptEnd::kFatal)
      return Failure{outcome.text};
    if (outcome.end == AttemptEnd::kPaused)
      return paused();
    if (outcome.cut_to) {
      if (Status cut = cut_back(*outcome.cut_to); !cut)
        return cut;
    }
    if (Status concluded = conclude_attempt(outcome); !concluded)
      return concluded;
    if (outcome.end == AttemptEnd::kCompleted) {
      attempt_ = 0;
    } else if (Status retrying = retry_after(outcome); !retrying) {
      return retrying;
    }
  }
  return Ok{};
}

// Copies the chunks the assembly takes from the base, from the offset on,
// until it fetches: returns the end of the range to fetch. Fails with the
// pause text or a write's system error text.
Result<uint64_t> SegmentTransfer::copy_from_base() {
  const uint64_t before = copied_;
  UpgradeAssembly::Turn turn = assembly_->next(offset_);
  for (; turn.copy; turn = assembly_->next(offset_)) {
    if (pausing())
      return paused();
    if (Status copied = copy_chunk(turn); !copied)
      return copied.failure();
  }
  if (copied_ != before)
    note_copies();
  return turn.fetch_end;
}

// One chunk from the base: read, checked, written. One that cannot be read
// whole or does not match is left to be fetched, and logged.
Status SegmentTransfer::copy_chunk(const UpgradeAssembly::Turn& copy) {
  const Result<std::span<const uint8_t>> bytes = assembly_->read(copy);
  if (!bytes) {
    log(base_unreadable_log_line(bytes.message()));
    return Ok{};
  }
  if (bytes->size() != copy.chunk.length || check_->take(*bytes)) {
    assembly_->copy_failed(copy);
    log(base_mismatch_log_line({copy.chunk.offset, copy.chunk.offset + copy.chunk.length - 1}));
    return Ok{};
  }
  if (Status written = file_->write_all(*bytes); !written)
    return written;
  offset_ += bytes->size();
  copied_ += bytes->size();
  const nanoseconds now = env_.clock.now();
  if (now - window_start_ >= kProgressInterval) {
    report(copying_text(offset_, target_.bytes));
    window_start_ = now;
  }
  return Ok{};
}

// After a run of copies: the stats, and a fresh speed window for the next
// request (copies are not network speed).
void SegmentTransfer::note_copies() {
  env_.stats.set_transferred_bytes(offset_ - start_offset_);
  env_.stats.set_base_bytes(copied_);
  report(copying_text(offset_, target_.bytes));
  restart_speed_window();
}

// One request for the range; its response is closed before the outcome returns.
AttemptOutcome SegmentTransfer::attempt(ByteRange range) {
  std::string address = requests_.hosts.address();
  if (!package_)
    address.append(".chunks");
  Result<ResponsePtr> opened = env_.http.http_get_range(address, range.first, range.last, attempt_);
  if (!opened)
    return failed(opened.message());
  HttpResponse& response = **opened;
  const uint32_t status = response.status();
  if (is_retryable_status(status))
    return busy(response, status);
  if (!accepts_segment(status, response.header("Content-Range"), response.header("Content-Length"),
                       range, target_.bytes)) {
    // A host without the map (404, say) is that host's failure: another may have it.
    return package_ ? fatal(kSegmentMismatchText) : failed(chunk_map_refused_text(status));
  }
  if (package_)
    env_.stats.set_http_status(status);
  return receive(response, range);
}

// A failed attempt that carries the wait the server asked for, if it did.
AttemptOutcome SegmentTransfer::busy(HttpResponse& response, uint32_t status) {
  AttemptOutcome outcome = failed(service_unavailable_text(status));
  outcome.wait_hint = retry_after_wait(response.header("Retry-After"), response.header("Date"),
                                       env_.wall_clock.file_time_now());
  return outcome;
}

// The deadline measures the server: the time spent waiting on the rate cap
// does not count.
AttemptOutcome SegmentTransfer::receive(HttpResponse& response, ByteRange range) {
  const nanoseconds accepted_at = env_.clock.now();
  nanoseconds capped{0};
  while (offset_ <= range.last) {
    if (pausing())
      return {AttemptEnd::kPaused, {}};
    if (env_.clock.now() - accepted_at - capped > kSegmentDeadline)
      return failed(kSegmentTimeoutText);
    auto wanted = static_cast<size_t>(std::min<uint64_t>(range.last + 1 - offset_, kReadChunk));
    if (cap_) {
      wanted = cap_->read_size(wanted);
      if (!wait_for_cap(wanted, capped))
        return {AttemptEnd::kPaused, {}};
    }
    const Result<size_t> got =
        response.read(std::span(buffer_.get(), wanted), env_.pause_requested);
    if (!got)
      return failed(got.message());
    if (*got == 0)
      return failed(kSegmentInterruptedText);
    if (*got > wanted)
      return fatal(kSegmentTooLongText);
    if (cap_)
      cap_->take(*got, env_.clock.now());
    const std::span<const uint8_t> arrived(buffer_.get(), *got);
    const Status written = file_->write_all(arrived);
    if (!written)
      return fatal(written.message());
    offset_ += *got;
    if (std::optional<AttemptOutcome> mismatch = mismatch_in(arrived))
      return *mismatch;
    if (package_)
      report_progress(offset_ > range.last);
  }
  return {AttemptEnd::kCompleted, {}};
}

// Under the rate cap, waits until `bytes` may be read, looking at the pause
// request every 50 ms; false when a pause ended the wait. Adds the time
// waited to `waited`.
bool SegmentTransfer::wait_for_cap(size_t bytes, nanoseconds& waited) {
  const nanoseconds started = env_.clock.now();
  const nanoseconds wait = cap_->wait_before(bytes, started);
  if (wait == nanoseconds::zero())
    return true;
  const bool waited_out = wait_unless_paused(env_.clock, env_.pause_requested, wait);
  waited += env_.clock.now() - started;
  return waited_out;
}

// The chunks the bytes complete, checked: a chunk that does not match fails
// the attempt (its host sent it), to be cut back to its start.
std::optional<AttemptOutcome> SegmentTransfer::mismatch_in(std::span<const uint8_t> bytes) {
  const std::optional<ChunkEntry> bad = check_ ? check_->take(bytes) : std::nullopt;
  if (!bad)
    return std::nullopt;
  const ByteRange chunk{bad->offset, bad->offset + bad->length - 1};
  log(mismatch_log_line(requests_.count, package_ ? "chunk" : "map", chunk,
                        requests_.hosts.host()));
  AttemptOutcome outcome = failed(package_ ? kChunkMismatchText : kChunkMapMismatchText);
  outcome.cut_to = bad->offset;
  return outcome;
}

// Cuts the file back to `offset`: closed first (it is open for appending
// only, sharing reading), cut, and opened again to append from there.
Status SegmentTransfer::cut_back(uint64_t offset) {
  file_.reset();
  if (Status cut = env_.files.truncate_file(target_.path, offset); !cut)
    return cut;
  offset_ = offset;
  return open(WriteMode::kAppend);
}

// At most one text per 0.1 s, and one when the segment is complete.
void SegmentTransfer::report_progress(bool segment_complete) {
  const nanoseconds now = env_.clock.now();
  const nanoseconds elapsed = now - window_start_;
  if (!segment_complete && elapsed < kProgressInterval)
    return;
  report(downloading_text(offset_, target_.bytes, speed_text(offset_ - window_offset_, elapsed)));
  window_start_ = now;
  window_offset_ = offset_;
}

// Flush, stats and the result line of a completed or failed attempt.
Status SegmentTransfer::conclude_attempt(const AttemptOutcome& outcome) {
  if (Status flushed = file_->flush(); !flushed)
    return flushed;
  if (package_)
    env_.stats.set_transferred_bytes(offset_ - start_offset_);
  const bool complete = outcome.end == AttemptEnd::kCompleted;
  log(result_log_line(requests_.count, offset_,
                      complete ? std::string_view("complete") : outcome.text));
  return Ok{};
}

// After a failed attempt: stop when paused or at the attempt limit, else move
// on to the next package host, wait (looking at the pause request every
// 50 ms) and restart the speed window.
Status SegmentTransfer::retry_after(const AttemptOutcome& failure) {
  if (pausing())
    return paused();
  ++attempt_;
  if (attempt_ >= kAttemptLimit) {
    return Failure{package_ ? gave_up_text(offset_, failure.text)
                            : chunk_map_gave_up_text(failure.text)};
  }
  report(reconnecting_text(attempt_, kAttemptLimit, shown_offset()));
  if (!wait_unless_paused(env_.clock, env_.pause_requested, fail_over_wait(failure.wait_hint)))
    return paused();
  restart_speed_window();
  return Ok{};
}

// Moves on to the next host and returns the wait before asking it: what is
// left of its own hinted wait, at least the retry delay; without one, a draw
// from the retry delay to twice that. The hint is held within its bounds in
// whole seconds: a hint of up to 2^40 s in nanoseconds would overflow.
nanoseconds SegmentTransfer::fail_over_wait(std::optional<std::chrono::seconds> hint) {
  std::optional<nanoseconds> hinted_wait;
  if (hint)
    hinted_wait = std::clamp(*hint, kRetryDelay, kLongestHintedWait);
  const nanoseconds held = requests_.hosts.fail_over(env_.clock.now(), hinted_wait);
  if (held > nanoseconds::zero())
    return std::max<nanoseconds>(held, kRetryDelay);
  return kRetryDelay + milliseconds(env_.random.next() % (kRetrySpreadMilliseconds + 1));
}

}  // namespace

Status transfer_missing_bytes(const DownloadEnvironment& env,
                              const std::string& cache_dir,
                              const TransferTarget& target,
                              uint64_t start_offset,
                              DownloadRequests& requests,
                              ChunkCheck* check,
                              UpgradeAssembly* assembly) {
  return SegmentTransfer(env, cache_dir, target, start_offset, requests, check, assembly).run();
}

}  // namespace quarvel
