#include "http/https_client.h"

#include <gtest/gtest.h>

#include "fake_http.h"
#include "http/manifest_fetch.h"
#include "http/request_text.h"
#include "http/transport_messages.h"

namespace quarvel {
namespace {

using testing_support::FakeConnector;
using testing_support::FixedWallClock;

constexpr int64_t kEpoch = 116444736000000000;
// 2024-01-01 00:00:00 UTC plus 0.1234567 s.
constexpr int64_t kNewYear2024 = 133485408000000000 + 1234567;
constexpr char kPlainHeaders[] = "Accept-Encoding: identity\r\nConnection: close\r\n";

struct ClientFixture : testing::Test {
  AllowedHosts hosts{{"releases.example.test"}, {"packages.example.test"}};
  FakeConnector connector;
  FixedWallClock clock{kNewYear2024};
  HttpsClient client{connector, hosts, clock};
};

struct Refusal {
  const char* address;
  const char* message;
};

TEST_F(ClientFixture, RefusesOtherSchemesAndHostsBeforeAnyNetworkUse) {
  const Refusal refusals[] = {
      {"HTTPS://releases.example.test/x", kHttpsRequiredMessage},
      {"Https://releases.example.test/x", kHttpsRequiredMessage},
      {"http://releases.example.test/x", kHttpsRequiredMessage},
      {"https:/", kHttpsRequiredMessage},
      {"", kHttpsRequiredMessage},
      {"https://", kHttpsRequiredMessage},
      {"https://releases.example.test", kHttpsRequiredMessage},
      {" https://releases.example.test/x", kHttpsRequiredMessage},
      {"https://releases.example.test:443/x", kInvalidHostMessage},
      {"https://RELEASES.example.test/x", kInvalidHostMessage},
      {"https://user@releases.example.test/x", kInvalidHostMessage},
      {"https://releases.example.test./x", kInvalidHostMessage},
      {"https:///releases.example.test/x", kInvalidHostMessage},
      {"https://evil.test/releases.example.test/", kInvalidHostMessage},
      {"https://releases.example.test?x=/y", kInvalidHostMessage},
  };
  for (const Refusal& refusal : refusals) {
    SCOPED_TRACE(refusal.address);
    const Result<ResponsePtr> plain = client.http_get(refusal.address, std::nullopt);
    ASSERT_FALSE(plain);
    EXPECT_EQ(plain.message(), refusal.message);
    const Result<ResponsePtr> ranged = client.http_get_range(refusal.address, 0, 9, 0);
    ASSERT_FALSE(ranged);
    EXPECT_EQ(ranged.message(), refusal.message);
  }
  EXPECT_TRUE(connector.requests.empty());
}

struct Admitted {
  const char* address;
  const char* host;
  const char* object;
};

TEST_F(ClientFixture, PassesHostAndObjectOnUnchanged) {
  const Admitted admitted[] = {
      {"https://releases.example.test/", "releases.example.test", "/"},
      {"https://packages.example.test/downloads/quarvel/1.02/Setup.exe", "packages.example.test",
       "/downloads/quarvel/1.02/Setup.exe"},
      {"https://releases.example.test/a/b?x=1&y=%20z#f", "releases.example.test",
       "/a/b?x=1&y=%20z#f"},
      {"https://packages.example.test//double/../x", "packages.example.test", "//double/../x"},
      {"https://packages.example.test/api/v2/releases/quarvel/latest.json", "packages.example.test",
       "/api/v2/releases/quarvel/latest.json"},
  };
  for (const Admitted& entry : admitted) {
    SCOPED_TRACE(entry.address);
    connector.requests.clear();
    ASSERT_TRUE(client.http_get(entry.address, std::nullopt));
    ASSERT_EQ(connector.requests.size(), 1u);
    EXPECT_EQ(connector.requests[0].host, entry.host);
    EXPECT_EQ(connector.requests[0].object, entry.object);
    EXPECT_EQ(connector.requests[0].headers, kPlainHeaders);
  }
}

TEST_F(ClientFixture, AddsTheRangeHeaderOnlyForARange) {
  ASSERT_TRUE(client.http_get("https://packages.example.test/f",
                              ByteRange{8388608, 18446744073709551615u}));
  EXPECT_EQ(connector.requests.at(0).headers,
            std::string(kPlainHeaders) + "Range: bytes=8388608-18446744073709551615\r\n");
  EXPECT_EQ(connector.requests.at(0).object, "/f");
}

TEST_F(ClientFixture, ConnectorMessagesComeBackUnchanged) {
  connector.responses.failure = network_error_message(12157);
  const Result<ResponsePtr> result =
      client.http_get("https://releases.example.test/x", std::nullopt);
  ASSERT_FALSE(result);
  EXPECT_EQ(result.message(), "网络连接中断（12157）；请重试继续下载");
}

TEST_F(ClientFixture, RangedRequestCarriesRangeHeaderAndUniqueQuery) {
  ASSERT_TRUE(client.http_get_range("https://packages.example.test/p/Setup.exe", 0, 999, 2));
  ASSERT_EQ(connector.requests.size(), 1u);
  const HttpRequest& request = connector.requests[0];
  EXPECT_EQ(request.host, "packages.example.test");
  EXPECT_EQ(request.object, "/p/Setup.exe?quarvel_range=0-999-2-1704067200123456700");
  EXPECT_EQ(request.headers, std::string(kPlainHeaders) + "Range: bytes=0-999\r\n");

  clock.file_time += 1;
  ASSERT_TRUE(client.http_get_range("https://packages.example.test/p/Setup.exe", 0, 999, 2));
  EXPECT_EQ(connector.requests.at(1).object,
            "/p/Setup.exe?quarvel_range=0-999-2-1704067200123456800")
      << "a retry of the same range a moment later is a distinct address";
}

TEST_F(ClientFixture, AClockBefore1970RefusesRangedRequestsOnly) {
  for (const int64_t file_time : {kEpoch - 1, int64_t{0}, int64_t{-1}, INT64_MIN}) {
    SCOPED_TRACE(file_time);
    clock.file_time = file_time;
    const Result<ResponsePtr> ranged =
        client.http_get_range("https://packages.example.test/p/Setup.exe", 0, 999, 0);
    ASSERT_FALSE(ranged);
    EXPECT_EQ(ranged.message(), kInvalidClockMessage);
  }
  EXPECT_TRUE(connector.requests.empty());

  connector.responses.script.body = "{}";
  const std::atomic<bool> pause{false};
  testing_support::FakeClock monotonic;
  const Result<std::string> manifest = fetch_release_manifest(client, hosts, pause, monotonic);
  ASSERT_TRUE(manifest) << manifest.message();
  EXPECT_EQ(*manifest, "{}");
  ASSERT_EQ(connector.requests.size(), 1u);
  EXPECT_EQ(connector.requests[0].object, "/api/v2/releases/quarvel/latest.json");
  EXPECT_EQ(connector.requests[0].headers, kPlainHeaders);
}

TEST_F(ClientFixture, TheEpochItselfIsAValidClock) {
  clock.file_time = kEpoch;
  ASSERT_TRUE(client.http_get_range("https://packages.example.test/f", 5, 5, 0));
  EXPECT_EQ(connector.requests.at(0).object, "/f?quarvel_range=5-5-0-0");
}

TEST(UnixNanosecondsText, CountsWholeNanosecondsSince1970) {
  const struct {
    int64_t file_time;
    const char* text;
  } cases[] = {
      {kEpoch, "0"},
      {kEpoch + 1, "100"},
      {kEpoch + 10000000, "1000000000"},
      {kNewYear2024, "1704067200123456700"},
      // Past the 64-bit range once multiplied by 100.
      {INT64_MAX, "910692730085477580700"},
  };
  for (const auto& entry : cases) {
    const Result<std::string> text = unix_nanoseconds_text(entry.file_time);
    ASSERT_TRUE(text) << entry.file_time;
    EXPECT_EQ(*text, entry.text);
  }
}

TEST(UnixNanosecondsText, AlwaysEndsInTwoZeros) {
  for (int64_t file_time = kEpoch + 1; file_time < kEpoch + 2000; file_time += 7) {
    const std::string text = unix_nanoseconds_text(file_time).value();
    ASSERT_TRUE(text.ends_with("00")) << text;
    EXPECT_EQ(std::stoull(text), static_cast<uint64_t>(file_time - kEpoch) * 100);
  }
}

TEST(RangeQuery, JoinsRangeAttemptAndTime) {
  EXPECT_EQ(range_query(0, 999, 2, kNewYear2024).value(),
            "?quarvel_range=0-999-2-1704067200123456700");
  EXPECT_EQ(range_query(18446744073709551615u, 18446744073709551615u, 4294967295u, kEpoch).value(),
            "?quarvel_range=18446744073709551615-18446744073709551615-4294967295-0");
  EXPECT_EQ(range_query(0, 0, 0, kEpoch - 1).message(), kInvalidClockMessage);
}

TEST(TransportMessages, EmbedTheirNumbers) {
  EXPECT_EQ(network_error_message(12002), "网络连接中断（12002）；请重试继续下载");
  EXPECT_EQ(network_error_message(4294967295u), "网络连接中断（4294967295）；请重试继续下载");
  EXPECT_EQ(manifest_status_message(404), "获取版本失败（HTTP 404）");
}

}  // namespace
}  // namespace quarvel
