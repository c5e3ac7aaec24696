// Fakes of the transport seams for the http tests: a response that plays back
// a scripted body, a connector and a client that record what they were asked
// and hand out such responses (and the fixed wall clock). Test thread only.
#pragma once

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "http/http_client.h"
#include "http/http_connector.h"
#include "http/transport_messages.h"
#include "support/fake_clock.h"

namespace quarvel::testing_support {

// What a fake response serves and how.
struct ResponseScript {
  uint32_t status = 200;
  std::string body;
  // Each read gives at most the next entry's bytes (and no more than the
  // buffer); once the entries run out, reads take what fits.
  std::deque<size_t> splits;
  // The read (counted from 0) that fails with network error 12002.
  std::optional<size_t> failing_read;
  // Called at the start of every read with its index.
  std::function<void(size_t)> before_read;
};

// What a fake response saw, kept by its creator after the response is gone.
struct ResponseLog {
  std::vector<size_t> buffer_sizes;  // one per read call
  bool released = false;
};

class ScriptedResponse final : public HttpResponse {
 public:
  ScriptedResponse(ResponseScript script, std::shared_ptr<ResponseLog> log)
      : script_(std::move(script)), log_(std::move(log)) {}
  ~ScriptedResponse() override { log_->released = true; }

  uint32_t status() const override { return script_.status; }
  std::optional<std::string> header(std::string_view) override { return std::nullopt; }
  Result<size_t> read(std::span<uint8_t> buffer,
                      const std::atomic<bool>& pause_requested) override {
    const size_t index = log_->buffer_sizes.size();
    log_->buffer_sizes.push_back(buffer.size());
    if (script_.before_read) {
      script_.before_read(index);
    }
    if (pause_requested.load()) {
      return Failure{kDownloadPausedMessage};
    }
    if (script_.failing_read == index) {
      return Failure{network_error_message(12002)};
    }
    size_t count = std::min(buffer.size(), script_.body.size() - offset_);
    if (!script_.splits.empty()) {
      count = std::min(count, script_.splits.front());
      script_.splits.pop_front();
    }
    std::memcpy(buffer.data(), script_.body.data() + offset_, count);
    offset_ += count;
    return count;
  }

 private:
  ResponseScript script_;
  size_t offset_ = 0;
  std::shared_ptr<ResponseLog> log_;
};

// Hands out one scripted response per call, or `failure` when it is set.
struct ResponseSource {
  Result<ResponsePtr> next() const {
    if (failure) {
      return Failure{*failure};
    }
    return ResponsePtr(std::make_unique<ScriptedResponse>(script, log));
  }

  ResponseScript script;
  std::optional<std::string> failure;
  std::shared_ptr<ResponseLog> log = std::make_shared<ResponseLog>();
};

class FakeConnector final : public HttpConnector {
 public:
  Result<ResponsePtr> open(const HttpRequest& request) override {
    requests.push_back(request);
    return responses.next();
  }

  std::vector<HttpRequest> requests;
  ResponseSource responses;
};

// Records each call; ranged calls are not expected and fail.
class FakeHttpClient final : public HttpClient {
 public:
  Result<ResponsePtr> http_get(std::string_view address, std::optional<ByteRange> range) override {
    addresses.emplace_back(address);
    ranges.push_back(range);
    if (queued.empty()) {
      return responses.next();
    }
    const ResponseSource source = std::move(queued.front());
    queued.pop_front();
    return source.next();
  }
  Result<ResponsePtr> http_get_range(std::string_view, uint64_t, uint64_t, uint32_t) override {
    return Failure{"unexpected ranged request"};
  }

  std::vector<std::string> addresses;
  std::vector<std::optional<ByteRange>> ranges;
  std::deque<ResponseSource> queued;  // the answers of the next calls, in order
  ResponseSource responses;           // then this, for every later call
};

}  // namespace quarvel::testing_support
