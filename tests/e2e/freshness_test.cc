// HTTP freshness and stale-if-error end to end, against nginx and its add_header: a first run
// fills the cache, then something changes (the server, the clock, the URL, the record), and the
// second run shows whether it asked the server, what it said, and whether the install agent ran.

#include <fnmatch.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "e2e/fixture.h"

using namespace testing_support;

namespace {

// What changes between the runs. The server stops, answers 503, loses the file or is no longer
// trusted; or the record becomes a FIFO, a link to a valid record, garbage or a huge file.
// clang-format off
enum class Change { kNone, kOtherUrl, kStop, k503, kRemove, kUntrust, kFifo, kLink, kGarbage, kHuge };
// clang-format on

struct Freshness {
  const char* name;
  const char* cacheControl;  // what nginx adds to its answers, "" for nothing
  Change change = Change::kNone;
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
const std::string kCached =
    "Downloading\nCould not reach the download endpoint, using the cached install agent: ";

// clang-format off
const Freshness kRows[] = {
    {.name = "NoHeaderAsksEveryRun", .cacheControl = ""},
    {.name = "MaxAgeAsksNothing", .cacheControl = kMaxAge, .request = false, .err = ""},
    {.name = "MaxAgePassed", .cacheControl = kMaxAge, .clock = "+2h"},
    {.name = "ClockBeforeTheResponse", .cacheControl = kMaxAge, .clock = "-1h"},
    {.name = "NoCache", .cacheControl = "no-cache, max-age=3600"},
    {.name = "AnotherUrl", .cacheControl = kMaxAge, .change = Change::kOtherUrl},
    {.name = "StaleIfErrorServerStopped", .cacheControl = kStale, .change = Change::kStop, .request = false, .err = kCached + "*Couldn't connect to server " + kUrl + "\n"},
    {.name = "StaleIfError503", .cacheControl = kStale, .change = Change::k503, .err = kCached + "status 503 " + kUrl + "\n"},
    {.name = "StaleIfError404", .cacheControl = kStale, .change = Change::kRemove, .err = statusAtFirstData("404"), .exitStatus = 255},
    {.name = "StaleIfErrorUntrustedCertificate", .cacheControl = kStale, .change = Change::kUntrust, .request = false, .err = transferFailure("*certificate*", kUrl), .exitStatus = 255},
    {.name = "StaleIfErrorPassed", .cacheControl = kStale, .change = Change::kStop, .clock = "+30d", .request = false, .err = transferFailure("*Couldn't connect to server", kUrl), .exitStatus = 255},
    {.name = "RecordThatIsAFifo", .cacheControl = kMaxAge, .change = Change::kFifo},
    {.name = "RecordThatIsALink", .cacheControl = kMaxAge, .change = Change::kLink},
    {.name = "GarbageRecord", .cacheControl = kMaxAge, .change = Change::kGarbage},
    {.name = "HugeRecord", .cacheControl = kMaxAge, .change = Change::kHuge},
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
  std::vector<std::string> trusting;
  if (row.change == Change::kUntrust) {  // the first run trusts the authority, the second not
    makeCertificates();
    args.insert(args.end(),
                {"--tls-cert", root_ / "server.pem", "--tls-key", root_ / "server.key"});
    trusting = trustingTheAuthority();
    if (trusting.empty()) {
      ASSERT_EQ(nullptr, std::getenv("CI")) << "no mount namespace to trust a test authority in";
      GTEST_SKIP() << "no mount namespace here to trust a test authority in";
    }
  }
  auto server = std::make_unique<Endpoint>(root_.path(), args, Server::kNginx);  // archive_ in it
  setEndpointUrl(server->url());
  const ProcessResult first = run({}, {}, trusting);
  ASSERT_EQ(0, first.exitStatus) << first.err;
  ASSERT_EQ(1u, server->requests(1).size());

  if (row.change == Change::kOtherUrl) {
    std::filesystem::create_hard_link(archive_, root_ / "other.zip");
    setEndpointUrl(server->url("/other.zip"));
  } else if (row.change == Change::kStop) {
    server.reset();  // nothing listens there now
  } else if (row.change == Change::k503) {
    writeFile(root_ / "down", "");
  } else if (row.change == Change::kRemove) {
    std::filesystem::remove(archive_);
  } else if (row.change >= Change::kFifo) {
    const std::string valid = readFile(record);
    ASSERT_FALSE(valid.empty());
    std::filesystem::remove(record);
    if (row.change == Change::kFifo) {
      ASSERT_EQ(0, ::mkfifo(record.c_str(), 0600));
    } else if (row.change == Change::kLink) {
      writeFile(root_ / "elsewhere", valid);
      std::filesystem::create_symlink(root_ / "elsewhere", record);
    } else {  // the huge one well-formed, its leading zeros aside
      writeFile(record, row.change == Change::kGarbage
                            ? "\x7f garbage\n"
                            : std::string(valid).insert(valid.find("lifetime=") + 9, 65536, '0'));
    }
  }
  const ProcessResult second = run({}, {}, {"/bin/sh", "-c", kMovedClock, row.clock});

  EXPECT_EQ(0, ::fnmatch(row.err.c_str(), second.err.c_str(), 0)) << second.err;
  EXPECT_EQ(row.exitStatus, second.exitStatus) << second.err;
  EXPECT_EQ(row.exitStatus == 0 ? 2 : 1, agentRuns());
  if (server) {  // the requests that reached nginx
    EXPECT_EQ(row.request ? 2u : 1u, server->requests(row.request ? 2 : 1).size());
  }
}

INSTANTIATE_TEST_SUITE_P(Nginx, FreshnessTest, testing::ValuesIn(kRows),
                         [](const auto& row) { return std::string(row.param.name); });
