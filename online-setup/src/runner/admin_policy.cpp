// Judging the policy values. Pure; any thread.
#include "runner/admin_policy.h"

#include <nlohmann/json.hpp>

#include "core/utf.h"

namespace quarvel {
namespace {

std::string type_name(uint32_t type) {
  switch (type) {
    case 0:
      return "REG_NONE";
    case 1:
      return "REG_SZ";
    case 2:
      return "REG_EXPAND_SZ";
    case 3:
      return "REG_BINARY";
    case 4:
      return "REG_DWORD";
    case 5:
      return "REG_DWORD_BIG_ENDIAN";
    case 7:
      return "REG_MULTI_SZ";
    case 11:
      return "REG_QWORD";
    default:
      return "type " + std::to_string(type);
  }
}

// A name as the log shows it: quoted, with control characters escaped, so
// that no value can break or forge a log line.
std::string log_text(std::string_view text) {
  return nlohmann::json(text).dump();
}

// The reason a value of this type and size is not what the rule reads;
// nullopt when it is.
std::optional<std::string> misfit(const PolicyValueRule& rule, const RegistryValue& value) {
  if (value.type != static_cast<uint32_t>(rule.type))
    return type_name(value.type) + " is not " + type_name(static_cast<uint32_t>(rule.type));
  if (rule.type == RegistryValueType::kDword && value.data.size() != 4)
    return "REG_DWORD of " + std::to_string(value.data.size()) + " bytes";
  if (rule.type == RegistryValueType::kMultiString && value.data.size() % 2 != 0)
    return "REG_MULTI_SZ of an odd " + std::to_string(value.data.size()) + " bytes";
  return std::nullopt;
}

// The value when it is set and of the rule's type; a log line otherwise.
std::optional<RegistryValue> fitting_value(PolicySource& source,
                                           const PolicyValueRule& rule,
                                           std::vector<std::string>& log_lines) {
  std::optional<RegistryValue> value = source.value(rule.name);
  if (!value)
    return std::nullopt;
  if (const std::optional<std::string> reason = misfit(rule, *value)) {
    log_lines.push_back("policy " + std::string(rule.name) + " ignored: " + *reason);
    return std::nullopt;
  }
  return value;
}

std::optional<uint32_t> read_number(PolicySource& source,
                                    const PolicyValueRule& rule,
                                    std::vector<std::string>& log_lines) {
  const std::optional<RegistryValue> value = fitting_value(source, rule, log_lines);
  if (!value)
    return std::nullopt;
  const uint32_t number =
      static_cast<uint32_t>(value->data[0]) | static_cast<uint32_t>(value->data[1]) << 8 |
      static_cast<uint32_t>(value->data[2]) << 16 | static_cast<uint32_t>(value->data[3]) << 24;
  const std::string name(rule.name);
  if (number < rule.least || number > rule.most) {
    log_lines.push_back("policy " + name + " ignored: " + std::to_string(number) +
                        " is not within " + std::to_string(rule.least) + " to " +
                        std::to_string(rule.most));
    return std::nullopt;
  }
  log_lines.push_back("policy " + name + "=" + std::to_string(number));
  return number;
}

std::string without_blanks_around(const std::u16string& entry) {
  const std::string text = utf16_to_utf8(entry);
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos)
    return {};
  return text.substr(first, text.find_last_not_of(" \t") + 1 - first);
}

// The strings of REG_MULTI_SZ data (UTF-16, each ended by a NUL), blanks
// around each dropped; empty ones (the list's terminator among them) skipped.
std::vector<std::string> multi_string_entries(const std::vector<uint8_t>& data) {
  std::vector<std::string> entries;
  std::u16string entry;
  for (size_t i = 0; i <= data.size(); i += 2) {
    const char16_t unit =
        i < data.size() ? static_cast<char16_t>(data[i] | data[i + 1] << 8) : u'\0';
    if (unit != u'\0') {
      entry.push_back(unit);
      continue;
    }
    if (std::string text = without_blanks_around(entry); !text.empty())
      entries.push_back(std::move(text));
    entry.clear();
  }
  return entries;
}

// Why a mirror name is not taken; nullopt when it is.
std::optional<std::string> mirror_refusal(const std::string& name,
                                          const std::vector<std::string>& taken,
                                          std::span<const std::string> build_hosts) {
  if (!is_dns_host_name(name))
    return "not a DNS host name";
  if (is_listed_in_any_case(name, taken))
    return "named twice";
  if (is_listed_in_any_case(name, build_hosts))
    return "a host of this build already";
  if (taken.size() == kMostMirrors)
    return "more than " + std::to_string(kMostMirrors) + " names";
  return std::nullopt;
}

std::vector<std::string> read_mirrors(PolicySource& source,
                                      const PolicyValueRule& rule,
                                      std::span<const std::string> build_hosts,
                                      std::vector<std::string>& log_lines) {
  const std::optional<RegistryValue> value = fitting_value(source, rule, log_lines);
  std::vector<std::string> mirrors;
  if (!value)
    return mirrors;
  const std::string name(rule.name);
  for (const std::string& entry : multi_string_entries(value->data)) {
    if (const auto refusal = mirror_refusal(entry, mirrors, build_hosts)) {
      log_lines.push_back("policy " + name + ": " + log_text(entry) + " ignored, " + *refusal);
      continue;
    }
    mirrors.push_back(entry);
  }
  if (mirrors.empty())
    return mirrors;
  std::string line = "policy " + name + "=" + mirrors.front();
  for (size_t i = 1; i < mirrors.size(); ++i)
    line += "," + mirrors[i];
  log_lines.push_back(line);
  return mirrors;
}

}  // namespace

uint64_t AdminPolicy::download_rate_cap() const {
  return uint64_t{max_download_kbps.value_or(0)} * kBytesPerKilobyte;
}

AdminPolicy read_admin_policy(PolicySource& source, const AllowedHosts& build_hosts) {
  AdminPolicy policy;
  policy.max_download_kbps = read_number(source, kMaxDownloadKBps, policy.log_lines);
  policy.package_hosts =
      read_mirrors(source, kPackageHosts, build_hosts.package_hosts, policy.log_lines);
  policy.release_hosts =
      read_mirrors(source, kReleaseHosts, build_hosts.release_hosts, policy.log_lines);
  policy.offline_grace_days = read_number(source, kOfflineGraceDays, policy.log_lines);
  return policy;
}

}  // namespace quarvel
