// Judging the policy values. Pure; any thread.
#include "runner/admin_policy.h"

#include <initializer_list>

#include "core/utf.h"

namespace quarvel {
namespace {

using Lines = std::vector<std::string>;

// Appends "policy " and the parts as one line.
void log(Lines& lines, std::initializer_list<std::string_view> parts) {
  std::string line = "policy ";
  for (const std::string_view part : parts)
    line += part;
  lines.push_back(std::move(line));
}

std::string type_name(uint32_t type) {
  static constexpr const char* kNames[] = {"REG_NONE",
                                           "REG_SZ",
                                           "REG_EXPAND_SZ",
                                           "REG_BINARY",
                                           "REG_DWORD",
                                           "REG_DWORD_BIG_ENDIAN",
                                           "REG_LINK",
                                           "REG_MULTI_SZ",
                                           "REG_RESOURCE_LIST",
                                           "REG_FULL_RESOURCE_DESCRIPTOR",
                                           "REG_RESOURCE_REQUIREMENTS_LIST",
                                           "REG_QWORD"};
  return type < std::size(kNames) ? kNames[type] : "type " + std::to_string(type);
}

// A name as the log shows it: quoted, with quotes and backslashes escaped and
// control characters as \xNN, so that no value can break or forge a line.
std::string log_text(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string quoted = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
      quoted += {'\\', 'x', kHex[byte >> 4], kHex[byte & 15]};
      continue;
    }
    if (c == '"' || c == '\\')
      quoted += '\\';
    quoted += c;
  }
  return quoted += '"';
}

// The reason a value of this type and size is not what the rule reads;
// empty when it is.
std::string misfit(const PolicyValueRule& rule, const RegistryValue& value) {
  const auto wanted = static_cast<uint32_t>(rule.type);
  if (value.type != wanted)
    return type_name(value.type) + " is not " + type_name(wanted);
  const size_t size = value.data.size();
  if (rule.type == RegistryValueType::kDword && size != 4)
    return "REG_DWORD of " + std::to_string(size) + " bytes";
  if (rule.type == RegistryValueType::kMultiString && size % 2 != 0)
    return "REG_MULTI_SZ of an odd " + std::to_string(size) + " bytes";
  return {};
}

// The value when it is set and of the rule's type; else nullopt, and a log
// line when it is set.
std::optional<RegistryValue> fitting_value(PolicySource& source,
                                           const PolicyValueRule& rule,
                                           Lines& lines) {
  std::optional<RegistryValue> value = source.value(rule.name);
  if (!value)
    return std::nullopt;
  if (const std::string reason = misfit(rule, *value); !reason.empty()) {
    log(lines, {rule.name, " ignored: ", reason});
    return std::nullopt;
  }
  return value;
}

std::optional<uint32_t> read_number(PolicySource& source,
                                    const PolicyValueRule& rule,
                                    Lines& lines) {
  const std::optional<RegistryValue> value = fitting_value(source, rule, lines);
  if (!value)
    return std::nullopt;
  uint32_t number = 0;
  for (size_t i = 4; i-- > 0;)
    number = number << 8 | value->data[i];  // little-endian
  const std::string text = std::to_string(number);
  if (number < rule.least || number > rule.most) {
    log(lines, {rule.name, " ignored: ", text, " is not within ", std::to_string(rule.least),
                " to ", std::to_string(rule.most)});
    return std::nullopt;
  }
  log(lines, {rule.name, "=", text});
  return number;
}

// The strings of REG_MULTI_SZ data (UTF-16, each ended by a NUL), blanks
// around each dropped; empty ones (the list's terminator among them) skipped.
std::vector<std::string> multi_string_entries(const std::vector<uint8_t>& data) {
  std::vector<std::string> entries;
  std::u16string entry;
  for (size_t i = 0; i <= data.size(); i += 2) {
    const char16_t unit = i < data.size() ? static_cast<char16_t>(data[i] | data[i + 1] << 8) : 0;
    if (unit != 0) {
      entry.push_back(unit);
      continue;
    }
    const std::string text = utf16_to_utf8(entry);
    entry.clear();
    const size_t first = text.find_first_not_of(" \t");
    if (first != std::string::npos)
      entries.push_back(text.substr(first, text.find_last_not_of(" \t") + 1 - first));
  }
  return entries;
}

// Why a mirror name is not taken; nullptr when it is.
const char* mirror_refusal(const std::string& name,
                           const std::vector<std::string>& taken,
                           std::span<const std::string> build_hosts) {
  if (!is_dns_host_name(name))
    return "not a DNS host name";
  if (is_listed_in_any_case(name, taken))
    return "named twice";
  if (is_listed_in_any_case(name, build_hosts))
    return "a host of this build already";
  static_assert(kMostMirrors == 8, "the text names the limit");
  if (taken.size() == kMostMirrors)
    return "more than 8 names";
  return nullptr;
}

std::vector<std::string> read_mirrors(PolicySource& source,
                                      const PolicyValueRule& rule,
                                      std::span<const std::string> build_hosts,
                                      Lines& lines) {
  std::vector<std::string> mirrors;
  const std::optional<RegistryValue> value = fitting_value(source, rule, lines);
  if (!value)
    return mirrors;
  std::string taken;
  for (const std::string& entry : multi_string_entries(value->data)) {
    if (const char* refusal = mirror_refusal(entry, mirrors, build_hosts)) {
      log(lines, {rule.name, ": ", log_text(entry), " ignored, ", refusal});
      continue;
    }
    taken += (mirrors.empty() ? "" : ",") + entry;
    mirrors.push_back(entry);
  }
  if (!mirrors.empty())
    log(lines, {rule.name, "=", taken});
  return mirrors;
}

}  // namespace

uint64_t AdminPolicy::download_rate_cap() const {
  return uint64_t{max_download_kbps.value_or(0)} * kBytesPerKilobyte;
}

AdminPolicy read_admin_policy(PolicySource& source, const AllowedHosts& build_hosts) {
  AdminPolicy policy;
  Lines& lines = policy.log_lines;
  policy.max_download_kbps = read_number(source, kMaxDownloadKBps, lines);
  policy.package_hosts = read_mirrors(source, kPackageHosts, build_hosts.package_hosts, lines);
  policy.release_hosts = read_mirrors(source, kReleaseHosts, build_hosts.release_hosts, lines);
  policy.offline_grace_days = read_number(source, kOfflineGraceDays, lines);
  return policy;
}

}  // namespace quarvel
