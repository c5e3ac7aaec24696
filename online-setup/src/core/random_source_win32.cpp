#include "core/random_source.h"
#include "core/system_libraries_win32.h"

namespace quarvel {

std::optional<uint64_t> operating_system_random() {
  const win32::BcryptApi* api = win32::bcrypt_api();
  uint64_t value = 0;
  if (api == nullptr ||
      !BCRYPT_SUCCESS(api->gen_random(nullptr, reinterpret_cast<PUCHAR>(&value), sizeof(value),
                                      BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
    return std::nullopt;
  }
  return value;
}

}  // namespace quarvel
