// UTC times written "YYYY-MM-DDTHH:MM:SSZ" (the signed manifest's expiry),
// as seconds since 1970-01-01T00:00:00Z. Pure functions, any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quarvel {

// Seconds since 1970 of a text of exactly that form: four-digit year 0001 to
// 9999, a month and a day that exist (leap years counted), hours 00 to 23,
// minutes and seconds 00 to 59 (no leap second). nullopt for anything else:
// another length, a lower-case "t" or "z", an offset, fractions of a second.
std::optional<int64_t> parse_utc_time(std::string_view text);

// The text of a time in that form; times outside the years 0001 to 9999 are
// clamped to the first or last second of that range.
std::string format_utc_time(int64_t seconds);

// Whole seconds since 1970 of a Windows file time (100 ns units since 1601),
// rounded down.
int64_t unix_seconds_of_file_time(int64_t file_time);

}  // namespace quarvel
