#include "http/manifest_fetch.h"

#include <gtest/gtest.h>

#include "fake_http.h"
#include "http/transport_messages.h"

namespace quarvel {
namespace {

using testing_support::FakeHttpClient;
using testing_support::ResponseSource;

struct FetchFixture : testing::Test {
  Result<std::string> fetch() { return fetch_release_manifest(http, hosts, pause, clock); }

  AllowedHosts hosts{{"releases.example.test"}, {"packages.example.test"}};
  FakeHttpClient http;
  std::atomic<bool> pause{false};
  testing_support::FakeClock clock;
};

std::string pattern(size_t size) {
  std::string body(size, '\0');
  for (size_t i = 0; i < size; ++i) {
    body[i] = static_cast<char>(i * 7 + i / 251);
  }
  return body;
}

TEST_F(FetchFixture, AsksTheReleaseHostOnceWithoutARange) {
  http.responses.script.body = "{\"build\":27}";
  const Result<std::string> body = fetch();
  ASSERT_TRUE(body) << body.message();
  EXPECT_EQ(*body, "{\"build\":27}");
  ASSERT_EQ(http.addresses.size(), 1u);
  EXPECT_EQ(http.addresses[0], "https://releases.example.test/api/v2/releases/quarvel/latest.json");
  EXPECT_FALSE(http.ranges[0].has_value());
  EXPECT_TRUE(http.responses.log->released);
  for (const size_t size : http.responses.log->buffer_sizes) {
    EXPECT_EQ(size, 4096u);
  }
}

TEST_F(FetchFixture, AnyStatusButOkIsRefusedBeforeReading) {
  for (const uint32_t status : {304u, 404u, 500u, 206u, 301u, 302u, 201u, 0u}) {
    http.responses = {};
    http.responses.script.status = status;
    http.responses.script.body = "{}";
    const Result<std::string> body = fetch();
    ASSERT_FALSE(body);
    EXPECT_EQ(body.message(), "获取版本失败（HTTP " + std::to_string(status) + "）");
    EXPECT_TRUE(http.responses.log->buffer_sizes.empty());
    EXPECT_TRUE(http.responses.log->released);
  }
}

TEST_F(FetchFixture, OpeningMessagesComeBackUnchanged) {
  for (const std::string message : {std::string(kInvalidHostMessage),
                                    std::string(kNoSessionMessage), network_error_message(12002)}) {
    http.responses.failure = message;
    const Result<std::string> body = fetch();
    ASSERT_FALSE(body);
    EXPECT_EQ(body.message(), message);
  }
}

struct BodyCase {
  size_t size;
  std::deque<size_t> splits;
  bool accepted;
};

TEST_F(FetchFixture, BodiesUpTo64KiBAreReturnedHoweverTheyAreSplit) {
  const std::deque<size_t> ones(65537, 1);
  const BodyCase cases[] = {
      {0, {}, true},
      {1, {}, true},
      {4096, {}, true},
      {65536, {}, true},
      {65536, {1, 4095, 100, 3000, 4096, 7}, true},
      {65536, ones, true},
      {65537, {}, false},
      {65537,
       {4096, 4096, 4096, 4096, 4096, 4096, 4096, 4096, 4096, 4096, 4096, 4096, 4096, 4096, 4096,
        4095, 2},
       false},
      {65537, ones, false},
      {10 * 1048576, {}, false},
  };
  for (const BodyCase& entry : cases) {
    SCOPED_TRACE(testing::Message()
                 << entry.size << " bytes in " << entry.splits.size() << " splits");
    http.responses = {};
    http.responses.script.body = pattern(entry.size);
    http.responses.script.splits = entry.splits;
    const Result<std::string> body = fetch();
    if (entry.accepted) {
      ASSERT_TRUE(body) << body.message();
      EXPECT_EQ(*body, http.responses.script.body);
    } else {
      ASSERT_FALSE(body);
      EXPECT_EQ(body.message(), kManifestTooLargeMessage);
      EXPECT_LE(http.responses.log->buffer_sizes.size(), entry.splits.empty() ? 17u : 65537u)
          << "reading stops once the limit is passed";
    }
    EXPECT_TRUE(http.responses.log->released);
  }
}

TEST_F(FetchFixture, APauseBetweenReadsEndsTheFetch) {
  http.responses.script.body = pattern(20000);
  http.responses.script.before_read = [this](size_t index) {
    if (index == 2) {
      pause = true;
    }
  };
  const Result<std::string> body = fetch();
  ASSERT_FALSE(body);
  EXPECT_EQ(body.message(), kDownloadPausedMessage);
  EXPECT_EQ(http.responses.log->buffer_sizes.size(), 3u);
  EXPECT_TRUE(http.responses.log->released);
}

TEST_F(FetchFixture, AFailedReadDropsThePartialBody) {
  http.responses.script.body = pattern(20000);
  http.responses.script.failing_read = 1;
  const Result<std::string> body = fetch();
  ASSERT_FALSE(body);
  EXPECT_EQ(body.message(), network_error_message(12002));
  EXPECT_TRUE(http.responses.log->released);
}

// Two release hosts: what the first answers decides whether the second is asked.
TEST_F(FetchFixture, ReleaseHostsAreAskedInOrderUntilOneAnswers200) {
  struct Case {
    const char* name;
    ResponseSource first;
    bool pause;
    size_t asked;
    std::string result;
  };
  const std::string refused = network_error_message(12029);
  const Case cases[] = {
      {"refused", {.failure = refused}, false, 2, "second"},
      {"not found", {.script = {.status = 404}}, false, 2, "second"},
      {"body breaks off",
       {.script = {.body = pattern(9000), .failing_read = 1}},
       false,
       2,
       "second"},
      {"refused body", {.script = {.body = "not a manifest"}}, false, 1, "not a manifest"},
      {"too large", {.script = {.body = pattern(65537)}}, false, 1, kManifestTooLargeMessage},
      {"paused read", {}, true, 1, kDownloadPausedMessage},
      {"paused after a failure", {.failure = refused}, true, 1, kDownloadPausedMessage},
  };
  hosts.release_hosts = {"r1.example.test", "r2.example.test"};
  for (const Case& entry : cases) {
    SCOPED_TRACE(entry.name);
    http.addresses.clear();
    http.queued = {entry.first, {.script = {.body = "second"}}};
    pause = entry.pause;
    const Result<std::string> body = fetch();
    EXPECT_EQ(body ? *body : body.message(), entry.result);
    ASSERT_EQ(http.addresses.size(), entry.asked);
    EXPECT_EQ(http.addresses.back(), "https://r" + std::to_string(entry.asked) +
                                         ".example.test/api/v2/releases/quarvel/latest.json");
  }
  http.queued = {{.script = {.status = 404}}, {.failure = refused}};
  pause = false;
  EXPECT_EQ(fetch().message(), "获取版本失败（HTTP 404）")
      << "every host failed: the first's message";
}

// A host that sends its answer a byte at a time, each read taking the
// given seconds: past 30 s from the request it counts as a time-out, and the
// next host is asked.
TEST_F(FetchFixture, AnAnswerMustArriveWithin30SecondsOfTheRequest) {
  struct Case {
    const char* name;
    int seconds_per_read;
    size_t bytes;
    std::string result;
  };
  const std::string timed_out = network_error_message(12002);
  const Case cases[] = {
      {"the last read starts before 30 s", 5, 6, "abcdef"},        // reads from 0 to 25 s
      {"a read would start at 30 s", 5, 7, "second"},              // the 8th
      {"a byte every 14 s", 14, 10, "second"},                     // 4 reads, then 42 s
      {"waiting before the first byte counts", 31, 1, "second"}};  // the first read takes 31 s
  hosts.release_hosts = {"r1.example.test", "r2.example.test"};
  for (const Case& entry : cases) {
    SCOPED_TRACE(entry.name);
    http.addresses.clear();
    http.queued = {{.script = {.body = std::string("abcdefghij").substr(0, entry.bytes),
                               .splits = std::deque<size_t>(entry.bytes, 1),
                               .before_read =
                                   [this, &entry](size_t index) {
                                     if (index > 0 || entry.seconds_per_read > 30)
                                       clock.time += std::chrono::seconds(entry.seconds_per_read);
                                   }}},
                   {.script = {.body = "second"}}};
    const Result<std::string> body = fetch();
    EXPECT_EQ(body ? *body : body.message(), entry.result);
  }
  hosts.release_hosts = {"r1.example.test"};
  http.queued = {{.script = {.body = "late", .before_read = [this](size_t) {
                               clock.time += std::chrono::seconds(30);
                             }}}};
  EXPECT_EQ(fetch().message(), timed_out) << "one host: its time-out is the message";
}

// A build that judges what it fetches: a refused answer passes the fetch on
// like a failed host, and the first refusal is reported when nothing is left.
TEST_F(FetchFixture, AJudgedFetchPassesARefusedAnswerToTheNextHost) {
  const ManifestJudge judge = [](const std::string& body) -> Status {
    if (body.starts_with("bad"))
      return Failure{"refused " + body};
    return Ok{};
  };
  const std::string refused_connection = network_error_message(12029);
  struct Case {
    const char* name;
    ResponseSource first;
    ResponseSource second;
    std::string result;
    std::string passed_over;  // "host:refused/failed:reason;..."
  };
  const Case cases[] = {
      {"refused, then taken",
       {.script = {.body = "bad one"}},
       {.script = {.body = "good"}},
       "good",
       "r1:refused:refused bad one;"},
      {"too large, then taken",
       {.script = {.body = pattern(65537)}},
       {.script = {.body = "good"}},
       "good",
       "r1:refused:版本信息过大;"},
      {"failed, then refused",
       {.script = {.status = 503}},
       {.script = {.body = "bad two"}},
       "refused bad two",
       "r1:failed:获取版本失败（HTTP 503）;r2:refused:refused bad two;"},
      {"refused twice",
       {.script = {.body = "bad one"}},
       {.script = {.body = "bad two"}},
       "refused bad one",
       "r1:refused:refused bad one;r2:refused:refused bad two;"},
      {"failed twice",
       {.failure = refused_connection},
       {.script = {.status = 404}},
       refused_connection,
       "r1:failed:" + refused_connection + ";r2:failed:获取版本失败（HTTP 404）;"},
  };
  hosts.release_hosts = {"r1", "r2"};
  for (const Case& entry : cases) {
    SCOPED_TRACE(entry.name);
    http.queued = {entry.first, entry.second};
    const JudgedManifestFetch fetch = fetch_judged_manifest(http, hosts, pause, clock, judge);
    EXPECT_EQ(fetch.body ? *fetch.body : fetch.body.message(), entry.result);
    std::string passed_over;
    for (const PassedOverHost& host : fetch.passed_over)
      passed_over += host.host + (host.refused ? ":refused:" : ":failed:") + host.reason + ";";
    EXPECT_EQ(passed_over, entry.passed_over);
  }
  http.queued = {{.script = {.body = "bad one"}}, {.script = {.body = "good"}}};
  pause = true;  // between the hosts
  EXPECT_EQ(fetch_judged_manifest(http, hosts, pause, clock, judge).body.message(),
            kDownloadPausedMessage);
}

}  // namespace
}  // namespace quarvel
