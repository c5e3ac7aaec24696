// An HttpClient for unit tests of ranged downloads: by default an honest
// package host that answers each range of `package` (of `chunk_map` for an
// address ending in ".chunks") with 206 and exact headers; queued replies
// script the next answers (failures, wrong headers, short, overlong or
// altered bodies, hooks that move time or request a pause). Every request
// and read is recorded. One thread.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "http/http_client.h"

namespace quarvel::testing_support {

// One scripted answer. The defaults are those of an honest host.
struct ScriptedReply {
  std::optional<std::string> open_failure;  // http_get_range fails with this text
  uint32_t status = 206;
  // Header overrides by name; a nullopt value removes the header.
  std::map<std::string, std::optional<std::string>, std::less<>> headers;
  uint64_t body_limit = std::numeric_limits<uint64_t>::max();  // bytes served before the body stops
  std::optional<std::string> stop_failure;  // after body_limit: this read failure, not the end
  std::optional<size_t> overlong_read;      // index of the read that claims one byte too many
  std::optional<uint64_t> flip_at;          // the body byte at this index is inverted
  std::function<void()> on_open;
  std::function<void(size_t read_index)> before_read;  // before the read's own pause test
  std::function<void(size_t read_index)> after_read;   // after the bytes were placed
};

struct RangeRequest {
  std::string address;
  uint64_t first = 0;
  uint64_t last = 0;
  uint32_t attempt = 0;
  bool operator==(const RangeRequest&) const = default;
  friend std::ostream& operator<<(std::ostream& out, const RangeRequest& request) {
    return out << request.first << "-" << request.last << " attempt " << request.attempt;
  }
};

class ScriptedHttpClient final : public HttpClient {
 public:
  std::string package;  // the bytes served
  uint64_t total = 0;   // the total named in an honest Content-Range
  // What an address ending in ".chunks" serves, its size as the total.
  std::string chunk_map;
  std::deque<ScriptedReply> replies;
  std::vector<RangeRequest> requests;
  size_t reads = 0;

  Result<ResponsePtr> http_get(std::string_view, std::optional<ByteRange>) override {
    return Failure{"http_get is not scripted"};
  }
  Result<ResponsePtr> http_get_range(std::string_view address,
                                     uint64_t first,
                                     uint64_t last,
                                     uint32_t attempt) override;
};

class ScriptedResponse final : public HttpResponse {
 public:
  ScriptedResponse(ScriptedHttpClient& client,
                   ScriptedReply reply,
                   ByteRange range,
                   const std::string& content,
                   uint64_t total)
      : client_(client), reply_(std::move(reply)) {
    const uint64_t first = std::min<uint64_t>(range.first, content.size());
    const uint64_t length = std::min(range.last - range.first + 1, reply_.body_limit);
    body_ = content.substr(first, length);
    if (reply_.flip_at && *reply_.flip_at < body_.size())
      body_[*reply_.flip_at] = static_cast<char>(~body_[*reply_.flip_at]);
    headers_["Content-Range"] = "bytes " + std::to_string(range.first) + "-" +
                                std::to_string(range.last) + "/" + std::to_string(total);
    headers_["Content-Length"] = std::to_string(range.last - range.first + 1);
    for (const auto& [name, value] : reply_.headers)
      headers_[name] = value;
  }
  uint32_t status() const override { return reply_.status; }
  std::optional<std::string> header(std::string_view name) override {
    const auto it = headers_.find(name);
    return it == headers_.end() ? std::nullopt : it->second;
  }
  Result<size_t> read(std::span<uint8_t> buffer,
                      const std::atomic<bool>& pause_requested) override {
    const size_t index = reads_++;
    ++client_.reads;
    if (reply_.before_read)
      reply_.before_read(index);
    if (pause_requested.load())
      return Failure{"下载已暂停，可重试继续下载"};
    if (position_ == body_.size() && reply_.stop_failure)
      return Failure{*reply_.stop_failure};
    const size_t n = std::min(buffer.size(), body_.size() - position_);
    std::copy_n(body_.data() + position_, n, buffer.data());
    position_ += n;
    if (reply_.after_read)
      reply_.after_read(index);
    return reply_.overlong_read == index ? n + 1 : n;
  }

 private:
  ScriptedHttpClient& client_;
  ScriptedReply reply_;
  std::map<std::string, std::optional<std::string>, std::less<>> headers_;
  std::string body_;
  size_t position_ = 0;
  size_t reads_ = 0;
};

inline Result<ResponsePtr> ScriptedHttpClient::http_get_range(std::string_view address,
                                                              uint64_t first,
                                                              uint64_t last,
                                                              uint32_t attempt) {
  requests.push_back({std::string(address), first, last, attempt});
  ScriptedReply reply;
  if (!replies.empty()) {
    reply = std::move(replies.front());
    replies.pop_front();
  }
  if (reply.on_open)
    reply.on_open();
  if (reply.open_failure)
    return Failure{*reply.open_failure};
  const bool map = address.ends_with(".chunks");
  return ResponsePtr(std::make_unique<ScriptedResponse>(
      *this, std::move(reply), ByteRange{first, last}, map ? chunk_map : package,
      map ? chunk_map.size() : total));
}

}  // namespace quarvel::testing_support
