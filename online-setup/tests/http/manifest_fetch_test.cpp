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

// A first host that sends its answer a byte a read, each read taking the
// given seconds: from 30 s after the request on no read is made, and the
// second host is asked.
TEST_F(FetchFixture, AnAnswerMustArriveWithin30SecondsOfTheRequest) {
  hosts.release_hosts = {"r1", "r2"};
  // seconds per read, bytes -> body
  for (const auto& [seconds, bytes, result] : std::vector<std::tuple<int, size_t, std::string>>{
           {5, 6, "abcdef"},  // reads start from 0 to 25 s, the last one finds the end
           {5, 7, "second"},  // the eighth read would start at 30 s
           {31, 1, "second"}}) {
    http.queued = {{.script = {.body = std::string("abcdefg").substr(0, bytes),
                               .splits = std::deque<size_t>(bytes, 1),
                               .before_read =
                                   [&, seconds = seconds](size_t index) {
                                     if (index > 0 || seconds > 30)
                                       clock.time += std::chrono::seconds(seconds);
                                   }}},
                   {.script = {.body = "second"}}};
    const Result<std::string> body = fetch();
    EXPECT_EQ(body ? *body : body.message(), result) << seconds << " s, " << bytes << " bytes";
  }
}

// With a judge, a refused answer passes the fetch on like a failed host, and
// the first refusal is the message when nothing is left.
TEST_F(FetchFixture, AJudgedFetchPassesARefusedAnswerToTheNextHost) {
  const ManifestJudge judge = [](const std::string& body) {
    return body.starts_with("bad") ? Status(Failure{"refused " + body}) : Status(Ok{});
  };
  hosts.release_hosts = {"r1", "r2"};
  const auto fetch_judged = [&](ResponseSource first, ResponseSource second) {
    http.queued = {std::move(first), std::move(second)};
    const JudgedManifestFetch fetch = fetch_judged_manifest(http, hosts, pause, clock, judge);
    std::string passed;
    for (const PassedOverHost& host : fetch.passed_over)
      passed += host.host + (host.refused ? " refused " : " failed ") + host.reason + "; ";
    return (fetch.body ? *fetch.body : fetch.body.message()) + " <- " + passed;
  };
  EXPECT_EQ(fetch_judged({.script = {.body = pattern(65537)}}, {.script = {.body = "good"}}),
            "good <- r1 refused 版本信息过大; ");
  EXPECT_EQ(fetch_judged({.script = {.status = 503}}, {.script = {.body = "bad two"}}),
            "refused bad two <- r1 failed 获取版本失败（HTTP 503）; r2 refused refused bad two; ");
  EXPECT_EQ(fetch_judged({.script = {.body = "bad one"}}, {.failure = "down"}),
            "refused bad one <- r1 refused refused bad one; r2 failed down; ");
}

}  // namespace
}  // namespace quarvel
