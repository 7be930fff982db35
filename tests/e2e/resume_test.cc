// Downloads that break off, end to end: the first run's transfer is cut by the server, or the run
// is killed or stopped halfway through a slowed transfer; then something may change (the partial
// on the disk, the archive on the server), and a second run, against the same files served at
// full speed, shows what it fetched (as the server counts body bytes), what it said, and that it
// installed the server's archive with no partial left.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "e2e/fixture.h"
#include "platform/command_line.h"

using namespace testing_support;

namespace {

// How the first run ends: none, cut, killed, stopped, or with the archive installed.
enum class Break { kNone, kCut, kKill, kStop, kInstalled };

struct Resume {
  const char* name;
  Server server = Server::kNginx;  // of the second run; of the first too, but for a cut
  Break how = Break::kKill;
  // Run by sh between the runs: $0 the partial, $1 the served directory, $2 the install agent's
  // files, from which a first run that installed is followed by a new archive.
  const char* change = "";
  bool signs = false;        // the archive signed with a key that the bundle pins
  const char* says = "";     // what the second run's standard error must hold
  double fetched = 0.55;     // the most it may fetch, in archives
  int megabytes = 4;         // of incompressible data in the archive
  bool smallTmpdir = false;  // TMPDIR a 16 MiB tmpfs, as a RAM-backed one often is
};

const char* const kResumed = "Resuming the download after ";
const char* const kAssembled = "Update assembled from the kept archive, ";
const char* const kTwoChangedOneAdded =
    "cd \"$2\" && head -c 99999 /dev/urandom > f3 && head -c 77777 /dev/urandom > f17 && "
    "head -c 50000 /dev/urandom > f41";
// Runs "$@" with $0 a 16 MiB tmpfs.
const char* const kSmallTmpdir = "mount -t tmpfs -o size=16m tmpfs \"$0\" && exec \"$@\"";
const char* const kFlipAByte = "printf X | dd of=\"$0\" bs=1 seek=1000 conv=notrunc status=none";

// clang-format off
const Resume kRows[] = {
    {.name = "CutByTheServer", .server = Server::kEndpoint, .how = Break::kCut, .says = kResumed, .fetched = 0.45},
    {.name = "KilledNginx", .says = kResumed},
    {.name = "StoppedNginx", .how = Break::kStop, .says = kResumed},
    {.name = "KilledApache", .server = Server::kApache, .says = kResumed},
    {.name = "KilledLighttpd", .server = Server::kLighttpd, .says = kResumed},
    {.name = "ServerIgnoresRanges", .server = Server::kPlain, .how = Break::kCut, .fetched = 1.0},
    {.name = "ArchiveChanged", .change = "cd \"$1\" && head -c 99 /dev/urandom > x && zip -q agent.zip x && touch -d '1 hour ago' agent.zip", .fetched = 1.05},
    {.name = "TamperedPartial", .change = kFlipAByte, .says = "The resumed download could not be unpacked; downloading it whole", .fetched = 1.55},
    {.name = "SignedResume", .signs = true, .says = kResumed},
    {.name = "TamperedPartialSigned", .change = kFlipAByte, .signs = true, .says = "The resumed download could not be verified; downloading it whole", .fetched = 1.55},
    {.name = "RangeNotSatisfiable", .change = "truncate -s 9000000 \"$0\" && sed -i s/^length=.*/length=9999999/ \"$0record\"", .says = "The kept start of the download does not fit the archive; downloading it whole", .fetched = 1.05},
    {.name = "UpdateNginx", .how = Break::kInstalled, .change = kTwoChangedOneAdded, .says = kAssembled, .fetched = 0.10, .megabytes = 20},
    {.name = "UpdateApache", .server = Server::kApache, .how = Break::kInstalled, .change = kTwoChangedOneAdded, .says = kAssembled, .fetched = 0.10},
    {.name = "UpdateLighttpd", .server = Server::kLighttpd, .how = Break::kInstalled, .change = kTwoChangedOneAdded, .says = kAssembled, .fetched = 0.10},
    {.name = "UpdateSigned", .how = Break::kInstalled, .change = kTwoChangedOneAdded, .signs = true, .says = kAssembled, .fetched = 0.10},
    {.name = "UpdateOfEveryEntry", .how = Break::kInstalled, .change = "for f in \"$2\"/f*; do head -c 100000 /dev/urandom > \"$f\"; done", .says = kAssembled, .fetched = 1.05},
    {.name = "UpdateFromATamperedKeptArchive", .how = Break::kInstalled, .change = "printf X | dd of=\"${0%partial}archive\" bs=1 seek=300000 conv=notrunc status=none && echo 1 >> \"$2/f9\"", .says = "The update assembled from the kept archive could not be unpacked; downloading it whole", .fetched = 1.10},
    {.name = "UpdateServerWithoutRanges", .server = Server::kPlain, .how = Break::kInstalled, .change = kTwoChangedOneAdded, .fetched = 1.05},
    {.name = "SmallTmpdir", .how = Break::kNone, .fetched = 1.0, .megabytes = 24, .smallTmpdir = true},
};
// clang-format on

void PrintTo(const Resume& row, std::ostream* out) {
  *out << row.name;
}

class ResumeTest : public ProgramTest, public testing::WithParamInterface<Resume> {};

}  // namespace

TEST_P(ResumeTest, Row) {
  const Resume& row = GetParam();
  const std::string www = root_ / "www";
  const std::string name = "agent.zip";
  // 40 entries of incompressible data; the install agent's entry point among them.
  ASSERT_EQ(0, runShell("cd " + root_.path() + " && mkdir -p agent www && for i in $(seq 40); do " +
                        "head -c " + std::to_string(row.megabytes * 25) +
                        "000 /dev/urandom > agent/f$i; done"));
  writeFile(root_ / "agent/install", kRecordingAgent);
  // Older than a second, or Apache's ETag is a weak one, which no range may be asked against; a
  // new archive of the same length is younger, or nginx's ETag would not change.
  const auto makeArchive = [&](const char* age) {  // signed by the vendor's script, or zipped
    return runShell(
        "cd " + root_.path() + " && rm -f www/agent.zip && " +
        (row.signs
             ? "{ [ -f k.key ] || minisign -G -W -p k.pub -s k.key >/dev/null; } && " +
                   std::string(BI_SIGN_AGENT_PATH) + " -s k.key agent out k.pub >/dev/null" +
                   " && mv out/InstallAgent.zip www/agent.zip && mv out/InstallAgent.zip.minisig" +
                   " www/agent.zip.minisig && cp out/installAgentKey.pub " + smart_quote(resources_)
             : std::string("cd agent && zip -qX ../www/agent.zip *")) +
        " && touch -d '" + age + " minutes ago' " + www + "/*");
  };
  ASSERT_EQ(0, makeArchive("60"));
  ::chmod(root_.path().c_str(), 0755);  // Apache serves as its own user
  const uintmax_t size = std::filesystem::file_size(www + "/" + name);
  const std::string partial = cacheDir() + ".partial";
  if (row.how == Break::kCut) {  // the first run gets 60% and the connection closes
    const Endpoint cutting(www + "/" + name, {"--cut-after", std::to_string(size * 6 / 10)});
    setEndpointUrl(cutting.url());
    EXPECT_EQ(255, run().exitStatus);
  } else if (row.how == Break::kInstalled) {
    const Endpoint first(www, {}, row.server);
    setEndpointUrl(first.url("/" + name));
    ASSERT_EQ(0, run().exitStatus);
  } else if (row.how != Break::kNone) {  // killed or stopped at half of a two-second transfer
    const Endpoint slow(www, {"--rate", std::to_string(size / 2)}, row.server);
    setEndpointUrl(slow.url("/" + name));
    auto first = start();
    ASSERT_TRUE(waitUntil(
        [&] { return exists(partial) && 2 * std::filesystem::file_size(partial) >= size; }));
    ::kill(first->pid(), row.how == Break::kKill ? SIGKILL : SIGTERM);
    first->wait();
  }
  ASSERT_EQ(0, runProcess({"/bin/sh", "-c", row.change, partial, www, root_ / "agent"}).exitStatus);
  if (row.how == Break::kInstalled) {  // the vendor publishes the changed install agent
    ASSERT_EQ(0, makeArchive("30"));
  }
  // At the same URL: a partial is only ever resumed from the URL that it came from.
  const std::string url = readFile(resources_ + "/installAgentURL.txt");
  const std::string port = url.empty() ? "0" : url.substr(17, url.find('/', 17) - 17);
  const Endpoint server(www + (row.server == Server::kEndpoint ? "/" + name : ""), {"--port", port},
                        row.server);
  setEndpointUrl(server.url("/" + name));
  std::vector<std::string> wrapper;
  if (row.smallTmpdir) {
    wrapper = {"/usr/bin/unshare", "-m", "/bin/sh", "-c", kSmallTmpdir, tmpdir_};
  }
  const ProcessResult second = run({}, {}, wrapper);

  EXPECT_EQ(0, second.exitStatus) << second.err;
  EXPECT_NE(std::string::npos, second.err.find(row.says)) << second.err;
  uint64_t fetched = 0;
  std::string requests;
  for (const Request& request : server.requests(1)) {
    fetched += request.bodyBytes;
    requests += std::to_string(request.status) + " " + std::to_string(request.bodyBytes) + "; ";
  }
  EXPECT_LE(static_cast<double>(fetched), row.fetched * static_cast<double>(size))
      << fetched << " of " << size << ": " << requests << second.err;
  if (row.server == Server::kPlain) {  // no ETag: a new install agent without a validation string
    EXPECT_EQ((std::vector<std::string>{".archive", ".lock", "installagent"}), listDir(cacheDir()));
  } else {
    expectCurrentCache(server);  // the server's archive, and no partial left
  }
  EXPECT_TRUE(readFile(root_ / "agent/f3") == readFile(cacheDir() + "installagent/f3"));
  EXPECT_EQ(row.how == Break::kInstalled ? 2 : 1, agentRuns());
}

INSTANTIATE_TEST_SUITE_P(Servers, ResumeTest, testing::ValuesIn(kRows),
                         [](const auto& row) { return std::string(row.param.name); });
