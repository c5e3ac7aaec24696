// The command line of quarvel-publish: its options read into a ReleaseInput,
// the publication run, its outcome printed. Main thread of the publisher.
#include "publisher/publish_command.h"

#include <array>
#include <charconv>
#include <string_view>

#include "core/utc_time.h"
#include "publisher/manifest_signing.h"

namespace quarvel {
namespace {

struct Option {
  std::string_view name;
  std::string ReleaseInput::*field;
  bool describes_package;  // given for a package, never to re-sign
};

constexpr std::array<Option, 6> kOptions{{
    {"--version", &ReleaseInput::version, true},
    {"--display-version", &ReleaseInput::display_version, true},
    {"--build", &ReleaseInput::build, true},
    {"--package-host", &ReleaseInput::package_host, false},
    {"--out", &ReleaseInput::out_dir, false},
    {"--resign", &ReleaseInput::resign, false},
}};

constexpr std::string_view kSigningKey = "--signing-key";
constexpr std::string_view kPreviousKey = "--previous-key";
constexpr std::string_view kExpiresIn = "--expires-in";
constexpr std::string_view kCompareWith = "--compare-with";

const Option* find_option(std::string_view name) {
  for (const Option& option : kOptions) {
    if (option.name == name)
      return &option;
  }
  return nullptr;
}

// What the command line gave, besides the values.
struct Given {
  std::array<bool, kOptions.size()> options{};
  bool package = false;
  bool expires_in = false;
  std::string expires_in_text;
  bool compare_with = false;
};

// The parts a command line lacks (" --out PACKAGE"), or the parts that a
// re-signing line must not have.
Result<Ok> check_parts(const ReleaseInput& input, const Given& given) {
  const bool resign = given.options.back();
  if (resign && input.resign.empty())
    return Failure{"--resign names no manifest"};
  std::string missing;
  std::string extra;
  for (size_t i = 0; i + 1 < kOptions.size(); ++i) {
    if (resign && kOptions[i].describes_package && given.options[i])
      extra.append(" ").append(kOptions[i].name);
    else if (!given.options[i] && !(resign && kOptions[i].describes_package))
      missing.append(" ").append(kOptions[i].name);
  }
  if (resign && given.package)
    extra.append(" PACKAGE");
  if (resign && given.compare_with)
    extra.append(" ").append(kCompareWith);
  if (!resign && !given.package)
    missing.append(" PACKAGE");
  if (resign && input.signing_keys.empty())
    missing.append(" ").append(kSigningKey);
  if (!extra.empty())
    return Failure{"--resign takes no" + extra};
  if (!missing.empty())
    return Failure{"missing:" + missing};
  return Ok{};
}

// The --expires-in value: 1 to 365 days, and only for a signed manifest.
// Previous keys only check what a signed manifest is made from.
Result<Ok> read_expiry(const Given& given, ReleaseInput& input) {
  if (!input.previous_keys.empty() && input.signing_keys.empty())
    return Failure{"--previous-key needs --signing-key"};
  if (!given.expires_in)
    return Ok{};
  if (input.signing_keys.empty())
    return Failure{"--expires-in needs --signing-key"};
  const std::string& text = given.expires_in_text;
  uint32_t days = 0;
  const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), days);
  if (text.empty() || stop != text.data() + text.size() || error != std::errc() || days < 1 ||
      days > kLongestExpiryDays) {
    return Failure{"--expires-in takes 1 to " + std::to_string(kLongestExpiryDays) + " days, not " +
                   text};
  }
  input.expires_in_days = days;
  return Ok{};
}

}  // namespace

std::string upgrade_cost_line(const std::string& compare_with, const UpgradeCost& cost) {
  const uint64_t total = cost.copied + cost.fetched;
  const uint64_t hundredths = total == 0 ? 0 : cost.fetched * 10'000 / total;
  std::string fraction = std::to_string(hundredths % 100);
  if (fraction.size() < 2)
    fraction.insert(0, "0");
  return "upgrade from " + compare_with + ": fetch=" + std::to_string(cost.fetched) + " (" +
         std::to_string(hundredths / 100) + "." + fraction +
         "%) ranges=" + std::to_string(cost.ranges) + " copy=" + std::to_string(cost.copied);
}

Result<ReleaseInput> parse_publish_arguments(std::span<const std::string> arguments) {
  ReleaseInput input;
  input.expires_in_days = kDefaultExpiryDays;
  Given given;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (!argument.starts_with("--")) {
      if (given.package)
        return Failure{"more than one package: " + argument};
      given.package = true;
      input.package = argument;
      continue;
    }
    const Option* option = find_option(argument);
    const bool repeatable = argument == kSigningKey || argument == kPreviousKey;
    if (option == nullptr && !repeatable && argument != kExpiresIn && argument != kCompareWith)
      return Failure{"unknown option " + argument};
    bool& seen = option ? given.options[static_cast<size_t>(option - kOptions.data())]
                 : argument == kExpiresIn ? given.expires_in
                                          : given.compare_with;
    if (seen && !repeatable)
      return Failure{"repeated option " + argument};
    if (i + 1 == arguments.size())
      return Failure{"no value after " + argument};
    const std::string& value = arguments[++i];
    if (repeatable) {
      (argument == kSigningKey ? input.signing_keys : input.previous_keys).push_back(value);
      continue;
    }
    seen = true;
    if (option)
      input.*(option->field) = value;
    else if (argument == kExpiresIn)
      given.expires_in_text = value;
    else
      input.compare_with = value;
  }
  if (const Result<Ok> parts = check_parts(input, given); !parts)
    return parts.failure();
  if (const Result<Ok> expiry = read_expiry(given, input); !expiry)
    return expiry.failure();
  return input;
}

int run_publish(std::span<const std::string> arguments,
                FileSystem& files,
                WallClock& clock,
                std::ostream& out,
                std::ostream& err) {
  if (arguments.size() == 1 && arguments[0] == "--help") {
    out << kPublishUsage << "\n";
    return 0;
  }
  const Result<ReleaseInput> input = parse_publish_arguments(arguments);
  if (!input) {
    err << "quarvel-publish: " << input.message() << "\n" << kPublishUsage << "\n";
    return 2;
  }
  const Result<Publication> publication = publish_release(files, clock, *input);
  if (!publication) {
    err << publication.message() << "\n";
    return 1;
  }
  out << publication->upload_path << "\n";
  if (!publication->chunk_map_upload_path.empty())
    out << publication->chunk_map_upload_path << "\n";
  if (publication->serial) {
    out << "serial=" << *publication->serial << " expires=" << format_utc_time(publication->expires)
        << "\n";
  }
  if (publication->upgrade_cost)
    out << upgrade_cost_line(input->compare_with, *publication->upgrade_cost) << "\n";
  return 0;
}

}  // namespace quarvel
