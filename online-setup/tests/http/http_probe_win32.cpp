// http-probe: a console test program that performs one request through the
// program's own transport (the test host names) and prints the outcome as one
// JSON line. Used by the end-to-end transport tests. Single thread.
//
//   http-probe get ADDRESS [--range FIRST LAST] [options]
//   http-probe range ADDRESS FIRST LAST ATTEMPT [options]
//   http-probe manifest [options]
// options: --pause-after N (pause_requested is set once N reads gave bytes)
//          --read-size N (buffer size of get and range reads, default 65536)
//          --header NAME (also print this response header; repeatable)
#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "core/json_text.h"
#include "core/sha256.h"
#include "core/system_libraries_win32.h"
#include "core/wide_win32.h"
#include "http/allowed_hosts.h"
#include "http/https_client.h"
#include "http/manifest_fetch.h"

namespace quarvel {
namespace {

struct ProbeOptions {
  std::vector<std::string> positional;
  std::optional<uint64_t> pause_after;
  size_t read_size = 65536;
  std::vector<std::string> headers{"Content-Length", "Content-Range", "Content-Type", "Location"};
};

// What the caller of the transport saw of the body, counted by ObservedResponse.
struct BodyObservation {
  uint64_t bytes = 0;
  uint64_t reads = 0;  // reads that gave bytes
  size_t largest_read = 0;
  Sha256 digest;
};

// Passes reads through, observes their bytes and raises the pause flag once
// the wanted number of reads gave bytes.
class ObservedResponse final : public HttpResponse {
 public:
  ObservedResponse(ResponsePtr inner,
                   BodyObservation& body,
                   std::atomic<bool>& pause,
                   std::optional<uint64_t> pause_after)
      : inner_(std::move(inner)), body_(body), pause_(pause), pause_after_(pause_after) {}

  uint32_t status() const override { return inner_->status(); }
  std::optional<std::string> header(std::string_view name) override { return inner_->header(name); }
  Result<size_t> read(std::span<uint8_t> buffer,
                      const std::atomic<bool>& pause_requested) override {
    Result<size_t> got = inner_->read(buffer, pause_requested);
    if (got && *got > 0) {
      body_.bytes += *got;
      body_.reads += 1;
      body_.largest_read = std::max(body_.largest_read, *got);
      body_.digest.update(buffer.first(*got));
      if (pause_after_ && body_.reads >= *pause_after_) {
        pause_ = true;
      }
    }
    return got;
  }

 private:
  ResponsePtr inner_;
  BodyObservation& body_;
  std::atomic<bool>& pause_;
  std::optional<uint64_t> pause_after_;
};

// The process's transport with every response observed.
class ObservedClient final : public HttpClient {
 public:
  ObservedClient(HttpClient& inner,
                 BodyObservation& body,
                 std::atomic<bool>& pause,
                 std::optional<uint64_t> pause_after)
      : inner_(inner), body_(body), pause_(pause), pause_after_(pause_after) {}

  Result<ResponsePtr> http_get(std::string_view address, std::optional<ByteRange> range) override {
    return observe(inner_.http_get(address, range));
  }
  Result<ResponsePtr> http_get_range(std::string_view address,
                                     uint64_t first,
                                     uint64_t last,
                                     uint32_t attempt) override {
    return observe(inner_.http_get_range(address, first, last, attempt));
  }

  // The headers printed for the last response opened.
  nlohmann::json headers = nlohmann::json::object();
  std::optional<uint32_t> status;
  std::vector<std::string> header_names;

 private:
  Result<ResponsePtr> observe(Result<ResponsePtr> opened) {
    if (!opened) {
      return opened;
    }
    status = (*opened)->status();
    for (const std::string& name : header_names) {
      const std::optional<std::string> value = (*opened)->header(name);
      headers[name] = value ? nlohmann::json(*value) : nlohmann::json(nullptr);
    }
    return ResponsePtr(
        std::make_unique<ObservedResponse>(std::move(*opened), body_, pause_, pause_after_));
  }

  HttpClient& inner_;
  BodyObservation& body_;
  std::atomic<bool>& pause_;
  std::optional<uint64_t> pause_after_;
};

std::optional<ProbeOptions> parse_options(const std::vector<std::string>& arguments) {
  ProbeOptions options;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const bool has_value = i + 1 < arguments.size();
    if (argument == "--pause-after" && has_value) {
      options.pause_after = std::stoull(arguments[++i]);
    } else if (argument == "--read-size" && has_value) {
      options.read_size = std::stoull(arguments[++i]);
    } else if (argument == "--header" && has_value) {
      options.headers.push_back(arguments[++i]);
    } else if (argument.starts_with("--")) {
      return std::nullopt;
    } else {
      options.positional.push_back(argument);
    }
  }
  return options;
}

// Reads the body to its end or to the first message; returns that message.
std::optional<std::string> drain(HttpResponse& response,
                                 size_t read_size,
                                 const std::atomic<bool>& pause) {
  std::vector<uint8_t> buffer(read_size);
  for (;;) {
    const Result<size_t> got = response.read(buffer, pause);
    if (!got) {
      return got.message();
    }
    if (*got == 0) {
      return std::nullopt;
    }
  }
}

// Opens the request the positional arguments name; nullopt for a usage error.
std::optional<Result<ResponsePtr>> open_request(HttpClient& http,
                                                const std::vector<std::string>& positional) {
  if (positional.size() == 2 && positional[0] == "get") {
    return http.http_get(positional[1], std::nullopt);
  }
  if (positional.size() == 4 && positional[0] == "get") {
    return http.http_get(positional[1],
                         ByteRange{std::stoull(positional[2]), std::stoull(positional[3])});
  }
  if (positional.size() == 5 && positional[0] == "range") {
    return http.http_get_range(positional[1], std::stoull(positional[2]),
                               std::stoull(positional[3]),
                               static_cast<uint32_t>(std::stoul(positional[4])));
  }
  return std::nullopt;
}

void print_line(const nlohmann::json& outcome) {
  const std::string line = json_compact(outcome) + "\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

int probe(const ProbeOptions& options) {
  std::atomic<bool> pause{false};
  BodyObservation body;
  ObservedClient http(system_http_client(), body, pause, options.pause_after);
  http.header_names = options.headers;
  nlohmann::json outcome = nlohmann::json::object();
  std::optional<std::string> message;
  if (options.positional.size() == 1 && options.positional[0] == "manifest") {
    Result<std::string> manifest =
        fetch_release_manifest(http, configured_hosts(), pause, system_monotonic_clock());
    if (manifest) {
      outcome["manifestBytes"] = manifest->size();
      outcome["manifestSha256"] = sha256_hex(*manifest);
    } else {
      message = manifest.message();
    }
  } else {
    std::optional<Result<ResponsePtr>> opened = open_request(http, options.positional);
    if (!opened) {
      return 2;
    }
    message = *opened ? drain(***opened, options.read_size, pause) : opened->message();
  }
  if (http.status) {
    outcome["status"] = *http.status;
    outcome["headers"] = http.headers;
    outcome["bodyBytes"] = body.bytes;
    outcome["reads"] = body.reads;
    outcome["largestRead"] = body.largest_read;
    outcome["sha256"] = body.digest.finish();
  }
  if (message) {
    outcome["message"] = *message;
  }
  print_line(outcome);
  return 0;
}

}  // namespace
}  // namespace quarvel

int wmain(int argc, wchar_t** argv) {
  quarvel::win32::restrict_dll_search_to_system32();
  _setmode(_fileno(stdout), _O_BINARY);
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    arguments.push_back(quarvel::win32::narrow(argv[i]));
  }
  const std::optional<quarvel::ProbeOptions> options = quarvel::parse_options(arguments);
  return options ? quarvel::probe(*options) : 2;
}
