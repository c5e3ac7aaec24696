// Retry-After and HTTP-date reading. Pure; any thread.
#include "http/retry_after.h"

#include <algorithm>
#include <array>
#include <span>
#include <string_view>

#include "core/clock.h"

namespace quarvel {
namespace {

using std::chrono::days;
using std::chrono::seconds;
using std::chrono::sys_days;
using std::chrono::sys_seconds;

constexpr std::array<std::string_view, 7> kDayNames{"Mon", "Tue", "Wed", "Thu",
                                                    "Fri", "Sat", "Sun"};
constexpr std::array<std::string_view, 7> kLongDayNames{
    "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};
constexpr std::array<std::string_view, 12> kMonthNames{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// The three forms a recipient accepts, in strftime's letters; every other
// character stands for itself. The day of the week is read, not checked.
constexpr std::array<std::string_view, 3> kHttpDateForms{
    "%a, %d %b %Y %H:%M:%S GMT",  // IMF-fixdate: Sun, 06 Nov 1994 08:49:37 GMT
    "%A, %d-%b-%y %H:%M:%S GMT",  // RFC 850:     Sunday, 06-Nov-94 08:49:37 GMT
    "%a %b %e %H:%M:%S %Y",       // asctime:     Sun Nov  6 08:49:37 1994
};

// Delta-seconds beyond this are read as this: far above any acceptable wait,
// and safe to add to any time.
constexpr int64_t kLongestDelta = int64_t{1} << 40;

struct DateFields {
  int year = 0;
  bool two_digit_year = false;
  unsigned month = 0;
  unsigned day = 0;
  int64_t hour = 0;
  int64_t minute = 0;
  int64_t second = 0;
};

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// Consumes exactly `count` digits.
std::optional<int> take_digits(std::string_view& text, size_t count) {
  if (text.size() < count)
    return std::nullopt;
  int value = 0;
  for (size_t i = 0; i < count; ++i) {
    if (!is_digit(text[i]))
      return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  text.remove_prefix(count);
  return value;
}

// Consumes one name of the table; its position.
std::optional<unsigned> take_name(std::string_view& text, std::span<const std::string_view> names) {
  for (size_t i = 0; i < names.size(); ++i) {
    if (text.starts_with(names[i])) {
      text.remove_prefix(names[i].size());
      return static_cast<unsigned>(i);
    }
  }
  return std::nullopt;
}

// Reads one field of a form into the fields; false when the text does not fit.
bool take_field(std::string_view& text, char letter, DateFields& fields) {
  std::optional<int> number;
  switch (letter) {
    case 'a':
      return take_name(text, kDayNames).has_value();
    case 'A':
      return take_name(text, kLongDayNames).has_value();
    case 'b': {
      const std::optional<unsigned> month = take_name(text, kMonthNames);
      fields.month = month.value_or(0) + 1;
      return month.has_value();
    }
    case 'e': {  // two digits, or a space and one digit
      const bool padded = text.starts_with(' ');
      text.remove_prefix(padded ? 1 : 0);
      number = take_digits(text, padded ? 1 : 2);
      fields.day = static_cast<unsigned>(number.value_or(0));
      return number.has_value();
    }
    case 'd':
      number = take_digits(text, 2);
      fields.day = static_cast<unsigned>(number.value_or(0));
      return number.has_value();
    case 'y':
    case 'Y':
      fields.two_digit_year = letter == 'y';
      number = take_digits(text, fields.two_digit_year ? 2 : 4);
      fields.year = number.value_or(0);
      return number.has_value();
    case 'H':
    case 'M':
    case 'S': {
      int64_t& part = letter == 'H' ? fields.hour : letter == 'M' ? fields.minute : fields.second;
      number = take_digits(text, 2);
      part = number.value_or(0);
      return number.has_value();
    }
  }
  return false;
}

std::optional<DateFields> read_form(std::string_view text, std::string_view form) {
  DateFields fields;
  for (size_t i = 0; i < form.size(); ++i) {
    if (form[i] == '%') {
      if (!take_field(text, form[++i], fields))
        return std::nullopt;
    } else if (text.starts_with(form[i])) {
      text.remove_prefix(1);
    } else {
      return std::nullopt;
    }
  }
  if (!text.empty())
    return std::nullopt;
  return fields;
}

// A two-digit year is the latest year with those two digits that lies at most
// 50 years ahead of the current one (one further ahead is the most recent past
// year with them): in 2098, "01" is 2101; in 2026, "94" is 1994.
int full_year(int two_digits, int current_year) {
  const int year = current_year - current_year % 100 + two_digits;
  if (year > current_year + 50)
    return year - 100;
  return year + 100 <= current_year + 50 ? year + 100 : year;
}

// The moment an HTTP-date names, or nullopt for any other text or an
// impossible date (30 February, hour 24).
std::optional<sys_seconds> http_date(std::string_view text, int current_year) {
  for (const std::string_view form : kHttpDateForms) {
    const std::optional<DateFields> fields = read_form(text, form);
    if (!fields)
      continue;
    const int year = fields->two_digit_year ? full_year(fields->year, current_year) : fields->year;
    const std::chrono::year_month_day day{
        std::chrono::year(year), std::chrono::month(fields->month), std::chrono::day(fields->day)};
    // Second 60 is a leap second.
    if (!day.ok() || fields->hour > 23 || fields->minute > 59 || fields->second > 60)
      return std::nullopt;
    return sys_days(day) + seconds(fields->hour * 3600 + fields->minute * 60 + fields->second);
  }
  return std::nullopt;
}

std::optional<seconds> delta_seconds(std::string_view text) {
  if (text.empty())
    return std::nullopt;
  int64_t value = 0;
  for (const char c : text) {
    if (!is_digit(c))
      return std::nullopt;
    value = std::min(value * 10 + (c - '0'), kLongestDelta);
  }
  return seconds(value);
}

std::string_view trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos)
    return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

std::optional<seconds> retry_after_wait(const std::optional<std::string>& retry_after,
                                        const std::optional<std::string>& date,
                                        int64_t now_file_time) {
  if (!retry_after)
    return std::nullopt;
  const std::string_view value = trimmed(*retry_after);
  if (!value.empty() && is_digit(value.front()))
    return delta_seconds(value);
  // Whole seconds first: a file time near the ends of its range must not overflow.
  const sys_seconds now{seconds(now_file_time / 10000000 - kUnixEpochAsFileTime / 10000000)};
  const int current_year =
      static_cast<int>(std::chrono::year_month_day(std::chrono::floor<days>(now)).year());
  const std::optional<sys_seconds> until = http_date(value, current_year);
  if (!until)
    return std::nullopt;
  const std::optional<sys_seconds> sent =
      date ? http_date(trimmed(*date), current_year) : std::nullopt;
  const seconds wait = *until - sent.value_or(now);
  if (wait < seconds::zero())
    return std::nullopt;
  return wait;
}

}  // namespace quarvel
