// The expiry's time format and its conversion, with the proleptic Gregorian
// calendar (days_from_civil and its inverse, after Howard Hinnant's public
// domain algorithms). Pure, any thread.
#include "core/utc_time.h"

#include <algorithm>

#include "core/clock.h"

namespace quarvel {
namespace {

constexpr int64_t kSecondsPerDay = 86'400;
constexpr std::string_view kShape = "dddd-dd-ddTdd:dd:ddZ";

struct CivilDate {
  int64_t year;
  int64_t month;  // 1 to 12
  int64_t day;    // 1 to 31
};

bool is_leap_year(int64_t year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int64_t days_in_month(int64_t year, int64_t month) {
  constexpr int64_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && is_leap_year(year) ? 29 : kDays[month - 1];
}

// Days since 1970-01-01 of a valid date.
int64_t days_from_civil(CivilDate date) {
  const int64_t year = date.month <= 2 ? date.year - 1 : date.year;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t year_of_era = year - era * 400;
  const int64_t day_of_year =
      (153 * (date.month + (date.month > 2 ? -3 : 9)) + 2) / 5 + date.day - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146'097 + day_of_era - 719'468;
}

CivilDate civil_from_days(int64_t days) {
  days += 719'468;
  const int64_t era = (days >= 0 ? days : days - 146'096) / 146'097;
  const int64_t day_of_era = days - era * 146'097;
  const int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36'524 - day_of_era / 146'096) / 365;
  const int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t month_index = (5 * day_of_year + 2) / 153;
  const int64_t month = month_index < 10 ? month_index + 3 : month_index - 9;
  return {year_of_era + era * 400 + (month <= 2 ? 1 : 0), month,
          day_of_year - (153 * month_index + 2) / 5 + 1};
}

// The number written by the digits at [first, first + count).
int64_t digits_at(std::string_view text, size_t first, size_t count) {
  int64_t value = 0;
  for (size_t i = first; i < first + count; ++i)
    value = value * 10 + (text[i] - '0');
  return value;
}

int64_t floor_divide(int64_t value, int64_t divisor) {
  const int64_t quotient = value / divisor;
  return quotient * divisor > value ? quotient - 1 : quotient;
}

}  // namespace

std::optional<int64_t> parse_utc_time(std::string_view text) {
  if (text.size() != kShape.size())
    return std::nullopt;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kShape[i] == 'd' ? !digit : text[i] != kShape[i])
      return std::nullopt;
  }
  const CivilDate date{digits_at(text, 0, 4), digits_at(text, 5, 2), digits_at(text, 8, 2)};
  const int64_t hour = digits_at(text, 11, 2);
  const int64_t minute = digits_at(text, 14, 2);
  const int64_t second = digits_at(text, 17, 2);
  if (date.year < 1 || date.month < 1 || date.month > 12 || date.day < 1 ||
      date.day > days_in_month(date.year, date.month) || hour > 23 || minute > 59 || second > 59) {
    return std::nullopt;
  }
  return days_from_civil(date) * kSecondsPerDay + hour * 3600 + minute * 60 + second;
}

std::string format_utc_time(int64_t seconds) {
  const int64_t first = days_from_civil({1, 1, 1}) * kSecondsPerDay;
  const int64_t last = days_from_civil({9999, 12, 31}) * kSecondsPerDay + kSecondsPerDay - 1;
  seconds = std::clamp(seconds, first, last);
  const int64_t days = floor_divide(seconds, kSecondsPerDay);
  const int64_t of_day = seconds - days * kSecondsPerDay;
  const CivilDate date = civil_from_days(days);
  std::string text = "0000-00-00T00:00:00Z";
  const auto put = [&text](size_t end, int64_t value) {
    for (size_t i = end; value != 0; value /= 10)
      text[--i] = static_cast<char>('0' + value % 10);
  };
  put(4, date.year);
  put(7, date.month);
  put(10, date.day);
  put(13, of_day / 3600);
  put(16, of_day / 60 % 60);
  put(19, of_day % 60);
  return text;
}

int64_t unix_seconds_of_file_time(int64_t file_time) {
  // The epoch is a whole number of seconds, so dividing first is exact and
  // cannot overflow.
  constexpr int64_t kTicksPerSecond = 10'000'000;
  return floor_divide(file_time, kTicksPerSecond) - kUnixEpochAsFileTime / kTicksPerSecond;
}

}  // namespace quarvel
