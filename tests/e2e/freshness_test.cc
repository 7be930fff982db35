// HTTP freshness and stale-if-error end to end, against nginx and its add_header: a first run
// fills the cache, then something changes (the server, the clock, the URL, the record), and the
// second run shows whether it asked the server, what it said, and whether the install agent ran.

#include <fnmatch.h>
#include <gtest/gtest.h>

#include "e2e/fixture.h"

using namespace testing_support;

namespace {

// Where the server stands for the second run.
enum class Standing { kUp, kStopped, kDropped, kUntrusted, kUnknownHost };

struct Freshness {
  const char* name;
  const char* cacheControl;  // what nginx adds to its answers, "" for nothing
  // Run by sh before the second run, with the record in $0, nginx's files in $1 (its 503 switch
  // "down" too) and the endpoint file in $2.
  const char* change = "";
  Standing server = Standing::kUp;
  const char* clock = "+0";           // faketime's offset for the second run
  bool request = true;                // whether the second run reached the server
  std::string err = "Downloading\n";  // a pattern of its standard error
  int exitStatus = 0;
};

const char* const kMaxAge = "max-age=3600";
const char* const kStale = "max-age=0, stale-if-error=604800";
const std::string kUrl = "http*://127.0.0.1:*/agent.zip";
// Runs "$@" with the clock moved by $0. libfaketime is preloaded before a sanitized program's own
// runtime, which AddressSanitizer then has to be told to accept.
const char* const kMovedClock =
    "ASAN_OPTIONS=\"$ASAN_OPTIONS:verify_asan_link_order=0\" "
    "exec /usr/bin/faketime -m --exclude-monotonic -f \"$0\" \"$@\"";
// Runs "$@" with /etc/hosts from $0 and a resolver on 127.0.0.1, where nothing answers: a name
// that the file lacks is unknown at once, and no lookup leaves the machine.
const char* const kOwnHosts =
    "mount --bind \"$0\" /etc/hosts && mount --bind \"$0.resolv\" /etc/resolv.conf && exec \"$@\"";
const std::string kCached =
    "Downloading\nCould not reach the download endpoint, using the cached install agent: ";

// clang-format off
const Freshness kRows[] = {
    {.name = "NoHeaderAsksEveryRun", .cacheControl = ""},
    {.name = "MaxAgeAsksNothing", .cacheControl = kMaxAge, .request = false, .err = ""},
    {.name = "MaxAgePassed", .cacheControl = kMaxAge, .clock = "+2h"},
    {.name = "ClockBeforeTheResponse", .cacheControl = kMaxAge, .clock = "-1h"},
    {.name = "NoCache", .cacheControl = "no-cache, max-age=3600"},
    {.name = "AnotherUrl", .cacheControl = kMaxAge, .change = "ln \"$1/agent.zip\" \"$1/b.zip\" && sed -i 's|/agent.zip|/b.zip|' \"$2\""},
    {.name = "StaleIfErrorServerStopped", .cacheControl = kStale, .server = Standing::kStopped, .request = false, .err = kCached + "*Couldn't connect to server " + kUrl + "\n"},
    {.name = "StaleIfErrorHostUnknown", .cacheControl = kStale, .server = Standing::kUnknownHost, .request = false, .err = kCached + "Could not resolve host: endpoint.test http://endpoint.test:*/agent.zip\n"},
    {.name = "StaleIfErrorPacketsDropped", .cacheControl = kStale, .server = Standing::kDropped, .request = false, .err = kCached + "the endpoint could not be reached in time (15 s): * " + kUrl + "\n"},
    {.name = "StaleIfError503", .cacheControl = kStale, .change = "touch \"$1/down\"", .err = kCached + "status 503 " + kUrl + "\n"},
    {.name = "StaleIfError404", .cacheControl = kStale, .change = "rm \"$1/agent.zip\"", .err = statusAtFirstData("404"), .exitStatus = 255},
    {.name = "StaleIfErrorUntrustedCertificate", .cacheControl = kStale, .server = Standing::kUntrusted, .request = false, .err = transferFailure("*certificate*", kUrl), .exitStatus = 255},
    {.name = "StaleIfErrorPassed", .cacheControl = kStale, .server = Standing::kStopped, .clock = "+30d", .request = false, .err = transferFailure("*Couldn't connect to server", kUrl), .exitStatus = 255},
    {.name = "RecordThatIsAFifo", .cacheControl = kMaxAge, .change = "rm \"$0\" && mkfifo \"$0\""},
    {.name = "RecordThatIsALink", .cacheControl = kMaxAge, .change = "mv \"$0\" \"$1/r\" && ln -s \"$1/r\" \"$0\""},
    {.name = "GarbageRecord", .cacheControl = kMaxAge, .change = "printf '\\177 garbage\\n' > \"$0\""},
    // well-formed but for its size: the lifetime's leading zeros
    {.name = "HugeRecord", .cacheControl = kMaxAge, .change = "sed -i \"s/lifetime=/&$(printf %065536d 0)/\" \"$0\""},
};
// clang-format on

void PrintTo(const Freshness& row, std::ostream* out) {
  *out << row.name;
}

class FreshnessTest : public ProgramTest, public testing::WithParamInterface<Freshness> {};

}  // namespace

TEST_P(FreshnessTest, Row) {
  const Freshness& row = GetParam();
  const std::string record = cacheDir() + ".freshness";
  std::vector<std::string> args = {"--503-while", root_ / "down", "--cache-control",
                                   row.cacheControl};
  std::vector<std::string> firstWrapper;
  std::vector<std::string> secondWrapper = {"/bin/sh", "-c", kMovedClock, row.clock};
  if (row.server == Standing::kUntrusted) {  // the first run trusts the authority, the second not
    makeCertificates();
    args.insert(args.end(),
                {"--tls-cert", root_ / "server.pem", "--tls-key", root_ / "server.key"});
    firstWrapper = trustingTheAuthority();
  } else if (row.server == Standing::kUnknownHost) {  // the name is known to the first run alone
    writeFile(root_ / "known", "127.0.0.1 endpoint.test\n");
    writeFile(root_ / "unknown", "");
    for (const char* hosts : {"known.resolv", "unknown.resolv"}) {
      writeFile(root_ / hosts, "nameserver 127.0.0.1\n");
    }
    const auto ownHosts = [&](const char* hosts) {
      return std::vector<std::string>{"/usr/bin/unshare", "-m",         "/bin/sh", "-c",
                                      kOwnHosts,          root_ / hosts};
    };
    firstWrapper = ownHosts("known");
    const std::vector<std::string> unknown = ownHosts("unknown");
    secondWrapper.insert(secondWrapper.begin(), unknown.begin(), unknown.end());
  }
  if (row.server == Standing::kDropped &&
      runProcess({"/usr/bin/unshare", "-n", "true"}).exitStatus != 0) {
    ASSERT_EQ(nullptr, std::getenv("CI")) << "no network namespace for this row";
    GTEST_SKIP() << "no network namespace here for this row";
  }
  if (row.server >= Standing::kUntrusted &&
      (firstWrapper.empty() || runProcess({"/usr/bin/unshare", "-m", "true"}).exitStatus != 0)) {
    ASSERT_EQ(nullptr, std::getenv("CI")) << "no mount namespace for this row";
    GTEST_SKIP() << "no mount namespace here for this row";
  }
  auto server = std::make_unique<Endpoint>(root_.path(), args, Server::kNginx);  // archive_ in it
  std::string url = server->url();
  if (row.server == Standing::kUnknownHost) {
    url.replace(url.find("127.0.0.1"), 9, "endpoint.test");
  }
  setEndpointUrl(url);
  const ProcessResult first = run({}, {}, firstWrapper);
  ASSERT_EQ(0, first.exitStatus) << first.err;
  ASSERT_EQ(1u, server->requests(1).size());

  if (row.server == Standing::kStopped) {
    server.reset();  // nothing listens there now
  } else if (row.server == Standing::kDropped) {
    const std::vector<std::string> dropping = droppingPacketsTo(url);
    secondWrapper.insert(secondWrapper.begin(), dropping.begin(), dropping.end());
  }
  ASSERT_EQ(0, runProcess({"/bin/sh", "-c", row.change, record, root_.path(),
                           resources_ + "/installAgentURL.txt"})
                   .exitStatus);
  const ProcessResult second = run({}, {}, secondWrapper);

  EXPECT_EQ(0, ::fnmatch(row.err.c_str(), second.err.c_str(), 0)) << second.err;
  EXPECT_EQ(row.exitStatus, second.exitStatus) << second.err;
  EXPECT_EQ(row.exitStatus == 0 ? 2 : 1, agentRuns());
  if (server) {  // the requests that reached nginx
    EXPECT_EQ(row.request ? 2u : 1u, server->requests(row.request ? 2 : 1).size());
  }
}

INSTANTIATE_TEST_SUITE_P(Nginx, FreshnessTest, testing::ValuesIn(kRows),
                         [](const auto& row) { return std::string(row.param.name); });
