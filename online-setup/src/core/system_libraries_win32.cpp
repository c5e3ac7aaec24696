#include "core/system_libraries_win32.h"

#include <initializer_list>

namespace quarvel::win32 {
namespace {

// Loads by absolute System32 path; the DLL's own dependencies are then looked
// for in its folder (System32) and nowhere else.
HMODULE load_system_library(const wchar_t* name) {
  wchar_t path[MAX_PATH + 32];
  const UINT length = GetSystemDirectoryW(path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH)
    return nullptr;
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
         resolve(module, "WinHttpQueryDataAvailable", api.query_data_available) &&
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
         resolve(module, "BCryptGenRandom", api.gen_random) &&
         resolve(module, "BCryptCloseAlgorithmProvider", api.close_algorithm_provider) &&
         resolve(module, "BCryptImportKeyPair", api.import_key_pair) &&
         resolve(module, "BCryptVerifySignature", api.verify_signature) &&
         resolve(module, "BCryptDestroyKey", api.destroy_key) &&
         BCRYPT_SUCCESS(api.open_algorithm_provider(&api.sha256_provider, BCRYPT_SHA256_ALGORITHM,
                                                    nullptr, 0));
}

bool load_authenticode(AuthenticodeApi& api) {
  // WinTrust loads imagehlp by name when it reads a file's signature (a
  // KnownDLL on Windows, not under Wine).
  load_system_library(L"imagehlp.dll");
  const HMODULE wintrust = load_system_library(L"wintrust.dll");
  const HMODULE crypt32 = load_system_library(L"crypt32.dll");
  return wintrust != nullptr && crypt32 != nullptr &&
         resolve(wintrust, "WinVerifyTrust", api.verify_trust) &&
         resolve(wintrust, "WTHelperProvDataFromStateData", api.provider_data) &&
         resolve(wintrust, "WTHelperGetProvSignerFromChain", api.provider_signer) &&
         resolve(wintrust, "WTHelperGetProvCertFromChain", api.provider_certificate) &&
         resolve(crypt32, "CryptDecodeObjectEx", api.decode_object) &&
         resolve(crypt32, "CertRDNValueToStrW", api.name_value_to_string) &&
         resolve(crypt32, "CryptMsgGetParam", api.message_parameter) &&
         resolve(crypt32, "CertCreateCertificateContext", api.create_certificate) &&
         resolve(crypt32, "CertFreeCertificateContext", api.free_certificate) &&
         resolve(crypt32, "CryptVerifyCertificateSignatureEx", api.verify_certificate_signature);
}

// The table of one DLL, filled by its loader on first use (thread-safely);
// nullptr when loading failed. One loader per table type.
template <class Table>
const Table* loaded_once(bool (*load)(Table&)) {
  static Table table{};
  static const Table* const api = load(table) ? &table : nullptr;
  return api;
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
  return loaded_once(load_winhttp);
}

const BcryptApi* bcrypt_api() noexcept {
  return loaded_once(load_bcrypt);
}

const AuthenticodeApi* authenticode_api() noexcept {
  return loaded_once(load_authenticode);
}

const OleaccApi* oleacc_api() noexcept {
  return loaded_once(load_oleacc);
}

FARPROC kernel32_optional(const char* name) noexcept {
  const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
  return kernel32 == nullptr ? nullptr : GetProcAddress(kernel32, name);
}

}  // namespace quarvel::win32
