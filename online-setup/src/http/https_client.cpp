// Address checks and request text in front of the connector. Runs on the
// thread of the install run.
#include "http/https_client.h"

#include "http/https_address.h"
#include "http/request_text.h"

namespace quarvel {

Result<ResponsePtr> HttpsClient::http_get(std::string_view address,
                                          std::optional<ByteRange> range) {
  Result<HttpsTarget> target = split_https_address(address, hosts_);
  if (!target) {
    return target.failure();
  }
  return connector_.open(
      HttpRequest{std::move(target->host), std::move(target->object), request_header_text(range)});
}

Result<ResponsePtr> HttpsClient::http_get_range(std::string_view address,
                                                uint64_t first,
                                                uint64_t last,
                                                uint32_t attempt) {
  const Result<std::string> query = range_query(first, last, attempt, clock_.file_time_now());
  if (!query) {
    return query.failure();
  }
  return http_get(std::string(address) + *query, ByteRange{first, last});
}

}  // namespace quarvel
