// The baseline for verify_package under Windows: a bare loop of ReadFile into
// one 65,536-byte buffer and BCryptHashData, with the same open flags.
//   cng_hash_bench PATH
// Prints the throughput and the digest; exits 1 when a call fails.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

#include "bench_report.h"
#include "core/sha256.h"
#include "core/system_libraries_win32.h"
#include "core/wide_win32.h"

namespace {

// The digest of the file as lower-case hex, or an empty string on failure.
std::string hash_file(const quarvel::win32::BcryptApi& api, HANDLE file, uint64_t& total) {
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (!BCRYPT_SUCCESS(api.create_hash(api.sha256_provider, &hash, nullptr, 0, nullptr, 0, 0))) {
    return {};
  }
  auto buffer = std::make_unique<UCHAR[]>(65536);
  DWORD read = 0;
  bool ok = true;
  while (ok && (ok = ReadFile(file, buffer.get(), 65536, &read, nullptr) != FALSE) && read > 0) {
    ok = BCRYPT_SUCCESS(api.hash_data(hash, buffer.get(), read, 0));
    total += read;
  }
  UCHAR digest[32];
  ok = ok && BCRYPT_SUCCESS(api.finish_hash(hash, digest, sizeof digest, 0));
  api.destroy_hash(hash);
  return ok ? quarvel::lower_hex(std::span(digest, sizeof digest)) : std::string();
}

}  // namespace

int main(int argc, char** argv) {
  const quarvel::win32::BcryptApi* api = quarvel::win32::bcrypt_api();
  if (argc != 2 || api == nullptr) {
    std::fprintf(stderr, "usage: cng_hash_bench PATH (needs bcrypt.dll)\n");
    return 2;
  }
  const auto start = quarvel::bench::Clock::now();
  const HANDLE file = CreateFileW(quarvel::win32::widen(argv[1]).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return 1;
  uint64_t total = 0;
  const std::string digest = hash_file(*api, file, total);
  CloseHandle(file);
  quarvel::bench::report("bare CNG loop", total, start, digest.c_str());
  return digest.empty() ? 1 : 0;
}
