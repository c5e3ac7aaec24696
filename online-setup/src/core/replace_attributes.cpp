// The attributes of a file replaced by a truncating open. Any thread.
#include "core/replace_attributes.h"

namespace quarvel {

uint32_t attributes_for_replacing(std::optional<uint32_t> existing) {
  const uint32_t kept = existing.value_or(0) & (kAttributeHidden | kAttributeSystem);
  return kept != 0 ? kept : kAttributeNormal;
}

}  // namespace quarvel
