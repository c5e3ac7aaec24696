// The command line of quarvel-publish:
//   quarvel-publish PACKAGE --version V --display-version D --build N
//                   --package-host HOST --out DIR
//                   [--signing-key KEY.pem]... [--previous-key PUB.pem]...
//                   [--expires-in DAYS] [--compare-with OLD.chunks]
//   quarvel-publish --resign MANIFEST --package-host HOST --out DIR
//                   --signing-key KEY.pem [--signing-key KEY.pem]...
//                   [--previous-key PUB.pem]... [--expires-in DAYS]
// options in any order, each once but the keys. Main thread of the publisher.
#pragma once

#include <ostream>
#include <span>
#include <string>

#include "core/clock.h"
#include "core/file_system.h"
#include "core/result.h"
#include "publisher/release_publication.h"

namespace quarvel {

inline constexpr char kPublishUsage[] =
    "usage: quarvel-publish PACKAGE --version V --display-version D --build N "
    "--package-host HOST --out DIR [--signing-key KEY.pem]... [--previous-key PUB.pem]... "
    "[--expires-in DAYS] [--compare-with OLD.chunks]\n"
    "       quarvel-publish --resign MANIFEST --package-host HOST --out DIR "
    "--signing-key KEY.pem [--signing-key KEY.pem]... [--previous-key PUB.pem]... "
    "[--expires-in DAYS]";

// The release named by the arguments (those after the program name). Returns
// a line that names the unknown, repeated or value-less option, the second
// package, the missing parts, what re-signing does not take, an expiry that
// is not 1 to 365 days, or an expiry or previous key given without a signing
// key.
Result<ReleaseInput> parse_publish_arguments(std::span<const std::string> arguments);

// "upgrade from OLD.chunks: fetch=F (P.PP%) ranges=R copy=C": what an
// installer holding the release of that map fetches (F bytes, P the share of
// the package, rounded down, in R ranges) and copies to upgrade. Cannot fail.
std::string upgrade_cost_line(const std::string& compare_with, const UpgradeCost& cost);

// Runs the publisher: on success prints the package's upload path on the
// package host to `out`, then the chunk map's (unless re-signing), for a
// signed manifest a line "serial=N expires=YYYY-MM-DDTHH:MM:SSZ", with
// --compare-with the upgrade_cost_line, and returns 0. With "--help"
// prints the usage to `out` and returns 0. A refusal or a file error is
// printed to `err` (the installer's own message for a refusal) and returns 1;
// a malformed command line prints the problem and the usage to `err` and
// returns 2.
int run_publish(std::span<const std::string> arguments,
                FileSystem& files,
                WallClock& clock,
                std::ostream& out,
                std::ostream& err);

}  // namespace quarvel
