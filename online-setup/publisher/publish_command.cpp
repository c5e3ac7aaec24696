// The command line of quarvel-publish: its options read into a ReleaseInput,
// the publication run, its outcome printed. Main thread of the publisher.
#include "publisher/publish_command.h"

#include <array>
#include <string_view>

namespace quarvel {
namespace {

struct Option {
  std::string_view name;
  std::string ReleaseInput::*field;
};

constexpr std::array<Option, 5> kOptions{{
    {"--version", &ReleaseInput::version},
    {"--display-version", &ReleaseInput::display_version},
    {"--build", &ReleaseInput::build},
    {"--package-host", &ReleaseInput::package_host},
    {"--out", &ReleaseInput::out_dir},
}};

const Option* find_option(std::string_view name) {
  for (const Option& option : kOptions) {
    if (option.name == name)
      return &option;
  }
  return nullptr;
}

}  // namespace

Result<ReleaseInput> parse_publish_arguments(std::span<const std::string> arguments) {
  ReleaseInput input;
  std::array<bool, kOptions.size() + 1> given{};  // the options, then the package
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (!argument.starts_with("--")) {
      if (given.back())
        return Failure{"more than one package: " + argument};
      given.back() = true;
      input.package = argument;
      continue;
    }
    const Option* option = find_option(argument);
    if (option == nullptr)
      return Failure{"unknown option " + argument};
    bool& seen = given[static_cast<size_t>(option - kOptions.data())];
    if (seen)
      return Failure{"repeated option " + argument};
    if (i + 1 == arguments.size())
      return Failure{"no value after " + argument};
    seen = true;
    input.*(option->field) = arguments[++i];
  }
  std::string missing;
  for (size_t i = 0; i < kOptions.size(); ++i) {
    if (!given[i])
      missing.append(" ").append(kOptions[i].name);
  }
  if (!given.back())
    missing.append(" PACKAGE");
  if (!missing.empty())
    return Failure{"missing:" + missing};
  return input;
}

int run_publish(std::span<const std::string> arguments,
                FileSystem& files,
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
  const Result<Publication> publication = publish_release(files, *input);
  if (!publication) {
    err << publication.message() << "\n";
    return 1;
  }
  out << publication->upload_path << "\n";
  return 0;
}

}  // namespace quarvel
