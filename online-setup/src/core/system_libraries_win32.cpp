#include "core/system_libraries_win32.h"

#include <initializer_list>

namespace quarvel::win32 {
namespace {

// Loads by absolute System32 path; the DLL's own dependencies are then looked
// for in its folder (System32) and nowhere else.
HMODULE load_system_library(const wchar_t* name) {
  wchar_t path[MAX_PATH + 32];
  const UINT length = GetSystemDirectoryW(path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  path[length] = L'\\';
  lstrcpynW(path + length + 1, name, 30);
  return LoadLibraryExW(path, nullptr,
                        LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
}

template <class Function>
bool resolve(HMODULE module, const char* name, Function& out) {
  out = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return out != nullptr;
}

bool load_winhttp(WinHttpApi& api) {
  const HMODULE module = load_system_library(L"winhttp.dll");
  return module != nullptr && resolve(module, "WinHttpOpen", api.open) &&
         resolve(module, "WinHttpSetTimeouts", api.set_timeouts) &&
         resolve(module, "WinHttpConnect", api.connect) &&
         resolve(module, "WinHttpOpenRequest", api.open_request) &&
         resolve(module, "WinHttpSetOption", api.set_option) &&
         resolve(module, "WinHttpSendRequest", api.send_request) &&
         resolve(module, "WinHttpReceiveResponse", api.receive_response) &&
         resolve(module, "WinHttpQueryHeaders", api.query_headers) &&
         resolve(module, "WinHttpReadData", api.read_data) &&
         resolve(module, "WinHttpCloseHandle", api.close_handle);
}

bool load_bcrypt(BcryptApi& api) {
  const HMODULE module = load_system_library(L"bcrypt.dll");
  return module != nullptr &&
         resolve(module, "BCryptOpenAlgorithmProvider", api.open_algorithm_provider) &&
         resolve(module, "BCryptCreateHash", api.create_hash) &&
         resolve(module, "BCryptHashData", api.hash_data) &&
         resolve(module, "BCryptFinishHash", api.finish_hash) &&
         resolve(module, "BCryptDestroyHash", api.destroy_hash) &&
         BCRYPT_SUCCESS(
             api.open_algorithm_provider(&api.sha256_provider, BCRYPT_SHA256_ALGORITHM, nullptr, 0));
}

bool load_oleacc(OleaccApi& api) {
  const HMODULE module = load_system_library(L"oleacc.dll");
  return module != nullptr && resolve(module, "LresultFromObject", api.lresult_from_object) &&
         resolve(module, "CreateStdAccessibleObject", api.create_std_accessible_object) &&
         resolve(module, "AccessibleObjectFromWindow", api.accessible_object_from_window);
}

}  // namespace

bool restrict_dll_search_to_system32() noexcept {
  const bool restricted = SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
  // Imports of user32 (version), WinHTTP (crypt32, secur32) and CNG on some
  // systems; loading a dependency by name does not always honour the
  // restriction above.
  for (const wchar_t* dependency : {L"version.dll", L"crypt32.dll", L"secur32.dll"}) {
    load_system_library(dependency);
  }
  return restricted;
}

const WinHttpApi* winhttp_api() noexcept {
  static const WinHttpApi* const api = [] {
    static WinHttpApi table{};
    return load_winhttp(table) ? &table : nullptr;
  }();
  return api;
}

const BcryptApi* bcrypt_api() noexcept {
  static const BcryptApi* const api = [] {
    static BcryptApi table{};
    return load_bcrypt(table) ? &table : nullptr;
  }();
  return api;
}

const OleaccApi* oleacc_api() noexcept {
  static const OleaccApi* const api = [] {
    static OleaccApi table{};
    return load_oleacc(table) ? &table : nullptr;
  }();
  return api;
}

FARPROC kernel32_optional(const char* name) noexcept {
  const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
  return kernel32 == nullptr ? nullptr : GetProcAddress(kernel32, name);
}

}  // namespace quarvel::win32
