// Times one verify_package call on a real file:
//   verify_bench PATH BYTES SHA256
// Prints the throughput; exits 0 when the file verified, 1 otherwise.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_report.h"
#include "release/package_verification.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: verify_bench PATH BYTES SHA256\n");
    return 2;
  }
  quarvel::ReleaseManifest manifest;
  manifest.bytes = std::strtoull(argv[2], nullptr, 10);
  manifest.sha256 = argv[3];
  const auto start = quarvel::bench::Clock::now();
  const quarvel::Result<bool> result =
      quarvel::verify_package(quarvel::system_file_system(), argv[1], manifest);
  const bool verified = result.ok() && *result;
  quarvel::bench::report(
      "verify_package", manifest.bytes, start,
      result.ok() ? (verified ? "verified" : "MISMATCH") : result.message().c_str());
  return verified ? 0 : 1;
}
