// Strict JSON parsing and typed member look-ups. Pure, any thread.
#include "core/strict_json.h"

namespace quarvel::strict_json {
namespace {

using nlohmann::json;

// Arrays and objects opened inside each other; this many or more is refused.
constexpr size_t kNestingLimit = 128;

// The library's tree builder with a nesting limit; reports errors as values.
class LimitedDomBuilder {
 public:
  using Dom = nlohmann::detail::json_sax_dom_parser<json>;

  explicit LimitedDomBuilder(json& root) : dom_(root, /*allow_exceptions=*/false) {}

  bool null() { return dom_.null(); }
  bool boolean(bool value) { return dom_.boolean(value); }
  bool number_integer(json::number_integer_t value) { return dom_.number_integer(value); }
  bool number_unsigned(json::number_unsigned_t value) { return dom_.number_unsigned(value); }
  bool number_float(json::number_float_t value, const json::string_t& text) {
    return dom_.number_float(value, text);
  }
  bool string(json::string_t& value) { return dom_.string(value); }
  bool binary(json::binary_t& value) { return dom_.binary(value); }
  bool key(json::string_t& value) { return dom_.key(value); }
  bool start_object(std::size_t length) { return enter() && dom_.start_object(length); }
  bool end_object() { return leave() && dom_.end_object(); }
  bool start_array(std::size_t length) { return enter() && dom_.start_array(length); }
  bool end_array() { return leave() && dom_.end_array(); }
  bool parse_error(std::size_t position,
                   const std::string& token,
                   const nlohmann::detail::exception& error) {
    return dom_.parse_error(position, token, error);
  }

 private:
  bool enter() { return ++depth_ < kNestingLimit; }
  bool leave() {
    --depth_;
    return true;
  }

  Dom dom_;
  size_t depth_ = 0;
};

}  // namespace

std::optional<json> parse(std::string_view body) {
  // The library would skip a byte order mark, and it reads a NUL byte as the
  // end of the text (so "{}\0x" would pass); neither belongs in a JSON text.
  if (body.starts_with("\xEF\xBB\xBF") || body.find('\0') != std::string_view::npos) {
    return std::nullopt;
  }
  json root;
  LimitedDomBuilder builder(root);
  if (!json::sax_parse(body.begin(), body.end(), &builder, json::input_format_t::json,
                       /*strict=*/true, /*ignore_comments=*/false)) {
    return std::nullopt;
  }
  return root;
}

const json* member(const json& document, const char* key) {
  if (!document.is_object())
    return nullptr;
  const auto it = document.find(key);
  return it == document.end() ? nullptr : &*it;
}

std::optional<uint64_t> non_negative_integer(const json* value) {
  if (value == nullptr)
    return std::nullopt;
  if (value->is_number_unsigned())
    return value->get<uint64_t>();
  if (value->is_number_integer() && value->get<int64_t>() >= 0) {
    return static_cast<uint64_t>(value->get<int64_t>());
  }
  return std::nullopt;
}

const std::string* string_value(const json* value) {
  return value != nullptr && value->is_string() ? &value->get_ref<const std::string&>() : nullptr;
}

}  // namespace quarvel::strict_json
