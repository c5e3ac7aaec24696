// System DLLs that are not KnownDLLs (WinHTTP, CNG, WinTrust, oleacc) are never imported
// statically: they are loaded here, from the system folder only, and called
// through typed pointers resolved once. restrict_dll_search_to_system32 runs
// first thing in the entry so nothing can load a DLL from the program's folder.
// Any thread; the tables are built once, on first use, thread-safely.
#pragma once

// <windows.h> comes first: the other system headers build on it.
#include <windows.h>

#include <bcrypt.h>
#include <oleacc.h>
#include <wincrypt.h>
#include <winhttp.h>
#include <wintrust.h>

namespace quarvel::win32 {

// Limits the process's DLL search to System32 and loads, by absolute System32
// path, the DLLs that the system DLLs used here import but that are not
// KnownDLLs (a module loaded under a name is reused rather than searched for).
// Returns false when the system lacks SetDefaultDllDirectories (not the case
// on any supported Windows).
bool restrict_dll_search_to_system32() noexcept;

struct WinHttpApi {
  decltype(&::WinHttpOpen) open;
  decltype(&::WinHttpSetTimeouts) set_timeouts;
  decltype(&::WinHttpConnect) connect;
  decltype(&::WinHttpOpenRequest) open_request;
  decltype(&::WinHttpSetOption) set_option;
  decltype(&::WinHttpSendRequest) send_request;
  decltype(&::WinHttpReceiveResponse) receive_response;
  decltype(&::WinHttpQueryHeaders) query_headers;
  decltype(&::WinHttpQueryDataAvailable) query_data_available;
  decltype(&::WinHttpReadData) read_data;
  decltype(&::WinHttpCloseHandle) close_handle;
};

struct BcryptApi {
  decltype(&::BCryptOpenAlgorithmProvider) open_algorithm_provider;
  decltype(&::BCryptCreateHash) create_hash;
  decltype(&::BCryptHashData) hash_data;
  decltype(&::BCryptFinishHash) finish_hash;
  decltype(&::BCryptDestroyHash) destroy_hash;
  decltype(&::BCryptGenRandom) gen_random;
  // ECDSA P-256 verification of the signed manifest.
  decltype(&::BCryptCloseAlgorithmProvider) close_algorithm_provider;
  decltype(&::BCryptImportKeyPair) import_key_pair;
  decltype(&::BCryptVerifySignature) verify_signature;
  decltype(&::BCryptDestroyKey) destroy_key;
  // The SHA-256 provider, opened once for the life of the process.
  BCRYPT_ALG_HANDLE sha256_provider;
};

// WinVerifyTrust with the provider-data helpers (wintrust.dll), and the name
// decoding, the signature's certificates and the certificate signature check
// of crypt32.dll.
struct AuthenticodeApi {
  decltype(&::WinVerifyTrust) verify_trust;
  decltype(&::WTHelperProvDataFromStateData) provider_data;
  decltype(&::WTHelperGetProvSignerFromChain) provider_signer;
  decltype(&::WTHelperGetProvCertFromChain) provider_certificate;
  decltype(&::CryptDecodeObjectEx) decode_object;
  decltype(&::CertRDNValueToStrW) name_value_to_string;
  decltype(&::CryptMsgGetParam) message_parameter;
  decltype(&::CertCreateCertificateContext) create_certificate;
  decltype(&::CertFreeCertificateContext) free_certificate;
  decltype(&::CryptVerifyCertificateSignatureEx) verify_certificate_signature;
};

// The accessibility entry points of oleacc.dll.
struct OleaccApi {
  decltype(&::LresultFromObject) lresult_from_object;
  decltype(&::CreateStdAccessibleObject) create_std_accessible_object;
  decltype(&::AccessibleObjectFromWindow) accessible_object_from_window;
};

// Returns nullptr when winhttp.dll cannot be loaded from System32 or lacks a
// function; the caller reports that as its own failure.
const WinHttpApi* winhttp_api() noexcept;

// Returns nullptr when bcrypt.dll cannot be loaded from System32, lacks a
// function, or refuses to open the SHA-256 provider.
const BcryptApi* bcrypt_api() noexcept;

// Returns nullptr when wintrust.dll or crypt32.dll cannot be loaded from
// System32 or lacks a function.
const AuthenticodeApi* authenticode_api() noexcept;

// Returns nullptr when oleacc.dll cannot be loaded from System32 or lacks a
// function; the window then answers screen readers with the standard objects.
const OleaccApi* oleacc_api() noexcept;

// A function exported by kernel32 that older systems may lack (GetTempPath2W);
// nullptr when absent.
FARPROC kernel32_optional(const char* name) noexcept;

}  // namespace quarvel::win32
