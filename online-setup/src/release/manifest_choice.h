// Which signed manifest a run uses: the one just fetched, or the one kept
// from an earlier run, and whether the fetched one takes the kept one's
// place. A kept manifest outlives an outage of the release host, or an answer
// that is refused, and stops a rollback to an older one; under an
// administrator's offline grace it outlives its own expiry by that many days
// when no host answers. Pure, any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/result.h"
#include "release/signed_manifest.h"

namespace quarvel {

enum class ManifestSource { kFetched, kKept };

struct ManifestChoice {
  ManifestSource source = ManifestSource::kFetched;
  // The fetched manifest takes the kept one's place in the cache folder.
  bool replaces_kept = false;
  // The kept manifest is used past its expiry, under the offline grace.
  bool past_expiry = false;
};

// Seconds in one day of the offline grace.
inline constexpr int64_t kSecondsPerGraceDay = 86'400;

// A kept manifest used past its expiry under the offline grace.
struct PastExpiry {
  int64_t expired = 0;      // the expiry it passed, seconds since 1970
  uint32_t grace_days = 0;  // the days the grace grants past it

  // When the grace ends: the expiry plus the grace's days.
  int64_t grace_ends() const { return expired + int64_t{grace_days} * kSecondsPerGraceDay; }
};

// "fetched" or "kept", as the report and the network log name the source.
const char* manifest_source_name(ManifestSource source);

// The manifest a run went on with.
struct ManifestUse {
  ManifestSource source = ManifestSource::kFetched;
  uint64_t serial = 0;
  // Set only when the kept manifest was used past its expiry.
  std::optional<PastExpiry> past_expiry;
};

// What the cache folder holds as the kept manifest.
struct KeptManifest {
  enum class File {
    kAbsent,      // no such file: the only state in which any fetched one may be kept
    kUnreadable,  // a file that could not be read (held, access denied): its serial is unknown
    kRead,
  };
  File file = File::kAbsent;
  // The serial of its payload when a configured key's signature verifies
  // over it, even when the payload no longer meets this build's rules
  // (another host list, a raised least build): the floor below which no
  // fetched manifest is used, and up to which none replaces it.
  std::optional<uint64_t> verified_serial;
  // The kept manifest when it also meets every rule (its expiry aside): the
  // one that may stand in for the fetched one.
  std::optional<SignedManifest> manifest;
};

// Whether a fetched manifest that the signature and the rules accepted may be
// used at `now` (seconds since 1970): refused with the clock message
// ("版本信息已过期（有效期至 {expires}）；请检查本机时钟是否正确") once it has
// expired, and with "版本信息比本机保存的旧（发布序号 {fetched} 低于 {kept}），
// 请稍后重试" when its serial is below the kept one's verified serial. A host
// whose answer is refused is passed over like one that failed.
Status admit_fetched_manifest(const SignedManifest& fetched, const KeptManifest& kept, int64_t now);

// The choice, at `now`, once the release hosts have been asked:
// - `fetched` is the fetched manifest that the signature and the rules
//   accepted, or nullptr when no host delivered one (every host failed or
//   was refused); `fetch_failure` is then what the run reports;
// - a fetched manifest that admit_fetched_manifest refuses is never used;
// - one with the same serial as the kept one is used only when its payload
//   is the kept one's byte for byte (two publications made in one second
//   share a serial): else the kept one is, while it may stand in;
// - the kept one stands in for a fetched one that is missing, refused or
//   ambiguous while it meets every rule and has not expired;
// - no host answered when no fetched manifest is used (none delivered one,
//   or it was refused): then a kept one that meets every rule and expired
//   at most `grace_days` whole days ago stands in too, past its expiry (up to
//   and including its expiry plus the grace's days, to the second); 0 grants
//   no grace. A fetched manifest is never used expired;
// - else the run fails: under a grace (above 0) with the kept one's clock
//   message when there is one that only its age keeps out; else with the
//   refusal, or with `fetch_failure`;
// - a used fetched manifest replaces the kept one only when no file is kept,
//   or when its serial is above the kept one's verified serial (a kept file
//   that is there but unreadable is never replaced; one that no configured
//   key signed sets no floor).
Result<ManifestChoice> choose_manifest(const SignedManifest* fetched,
                                       const KeptManifest& kept,
                                       int64_t now,
                                       const Failure& fetch_failure,
                                       uint32_t grace_days);

}  // namespace quarvel
