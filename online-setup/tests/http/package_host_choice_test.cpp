// The choice of the package host: where a download starts (an administrator's
// mirrors first), where a failed attempt moves it, and how long a host's own
// wait hint holds it back.
#include "http/package_host_choice.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quarvel {
namespace {

constexpr char kPath[] = "/downloads/quarvel/1.4.2/Quarvel-1.4-b31-Windows-x64-Setup.exe";

TEST(PackageHostChoice, StartsAtTheNamedHostAndMovesOnAfterEachFailure) {
  // A failed attempt at `at` s with its hint (-1: none), then the next host
  // and the seconds it still asks to be left alone.
  struct Failed {
    int at, hint;
    const char* next;
    int held;
  };
  struct Case {
    const char* name;
    std::vector<std::string> hosts;
    const char* named;
    std::vector<Failed> failures;
    size_t mirrors = 0;  // the first hosts, where the download starts
  };
  const Case cases[] = {
      {"one host keeps its own hint",
       {"p"},
       "p",
       {{0, -1, "p", 0}, {1, 4, "p", 4}, {6, -1, "p", 0}}},
      {"wraps around", {"a", "b", "c"}, "b", {{0, -1, "c", 0}, {2, -1, "a", 0}, {4, -1, "b", 0}}},
      {"a hint holds only its host", {"a", "b"}, "a", {{0, 10, "b", 0}, {2, -1, "a", 8}}},
      {"hints per host", {"a", "b"}, "a", {{0, 5, "b", 0}, {1, 30, "a", 4}, {6, -1, "b", 25}}},
      {"unlisted: nowhere to go", {"a", "b"}, "c", {{0, -1, "c", 0}, {2, 3, "c", 3}}},
      {"mirrors, then the build's hosts from the named one",
       {"m1", "m2", "a", "b", "c"},
       "b",
       {{0, -1, "m2", 0},
        {1, 9, "b", 0},
        {2, -1, "c", 0},
        {3, -1, "a", 0},
        {4, -1, "m1", 0},
        {5, -1, "m2", 5}},
       2},
  };
  for (const Case& entry : cases) {
    SCOPED_TRACE(entry.name);
    PackageHostChoice choice(entry.hosts, entry.mirrors,
                             "https://" + std::string(entry.named) + kPath);
    EXPECT_EQ(choice.host(), entry.mirrors > 0 ? entry.hosts[0] : entry.named);
    for (const Failed& failed : entry.failures) {
      std::optional<std::chrono::nanoseconds> hint;
      if (failed.hint >= 0)
        hint = std::chrono::seconds(failed.hint);
      EXPECT_EQ(choice.fail_over(std::chrono::seconds(failed.at), hint),
                std::chrono::seconds(failed.held));
      EXPECT_EQ(choice.address(), "https://" + std::string(failed.next) + kPath);
    }
  }
}

}  // namespace
}  // namespace quarvel
