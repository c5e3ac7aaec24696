// Header value conversion. Pure; any thread.
#include "http/header_value.h"

#include "core/utf.h"

namespace quarvel {

std::string header_value_text(std::u16string_view units) {
  while (!units.empty() && units.back() == u'\0') {
    units.remove_suffix(1);
  }
  return utf16_to_utf8(units);
}

}  // namespace quarvel
