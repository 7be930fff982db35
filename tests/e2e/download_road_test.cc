// The download road as a user meets it: nothing shipped in the bundle, the archive fetched from
// a real HTTP server on 127.0.0.1, unpacked with the real unzip into a cache under a test HOME,
// and the install agent run through sh; then later runs that find the cache current.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "e2e/fixture.h"
#include "platform/command_line.h"

using namespace testing_support;

namespace {

const std::vector<std::string> kCacheEntries = {".lock", ".validatestring", "installagent"};

class DownloadRoadTest : public ProgramTest, public testing::WithParamInterface<bool> {};
class DownloadTest : public ProgramTest {};

}  // namespace

// Tests a first run and a later one against bi-endpoint and against nginx, which honours
// If-None-Match on its own: the later run costs no body.
TEST_P(DownloadRoadTest, FirstRunDownloadsLaterRunsUseTheCache) {
  std::filesystem::create_directories(root_ / "www");
  std::filesystem::copy_file(archive_, root_ / "www/agent.zip");
  const std::unique_ptr<Server> server = GetParam()
                                             ? std::unique_ptr<Server>(new Nginx(root_ / "www"))
                                             : std::make_unique<Endpoint>(archive_);
  setEndpointUrl(server->url());
  const ProcessResult first = run({"one", "$(touch pwned)"});
  EXPECT_EQ(0, first.exitStatus) << first.err;
  EXPECT_EQ("Downloading\nInitializing the installer\n", first.err);
  EXPECT_EQ(expectedArgs({"one", "$(touch pwned)"}), recordedArgs());
  EXPECT_EQ(server->tag(), storedTag());
  EXPECT_EQ(kCacheEntries, listDir(cacheDir()));

  const ProcessResult second = run({"two"});
  EXPECT_EQ(0, second.exitStatus) << second.err;
  EXPECT_EQ("Downloading\n", second.err);
  EXPECT_EQ(expectedArgs({"two"}), recordedArgs());
  EXPECT_EQ(2, agentRuns());
  EXPECT_EQ(200, server->requestWithCondition("-", 2).status);
  const Request hit = server->requestWithCondition(storedTag(), 2);
  EXPECT_EQ(304, hit.status);
  EXPECT_EQ(0u, hit.bodyBytes);
  EXPECT_EQ(std::vector<std::string>{}, listDir(tmpdir_));
  EXPECT_FALSE(exists(root_ / "pwned"));
}

INSTANTIATE_TEST_SUITE_P(Servers, DownloadRoadTest, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& row) {
                           return row.param ? "Nginx" : "Endpoint";
                         });

// Tests that without an ETag the cache is never taken as current, and holds no stale tag.
TEST_F(DownloadTest, NoEtagMeansOutOfDate) {
  Endpoint server(archive_, {"--no-etag"});
  setEndpointUrl(server.url());
  writeFile(cacheDir() + ".validatestring", "\"stale\"");
  for (int runs = 1; runs <= 2; ++runs) {
    const ProcessResult result = run();
    EXPECT_EQ(0, result.exitStatus) << result.err;
    EXPECT_EQ("Downloading\nInitializing the installer\n", result.err);
    EXPECT_EQ(runs, agentRuns());
    EXPECT_FALSE(exists(cacheDir() + ".validatestring"));
  }
  for (const Request& request : server.requests(2)) {
    EXPECT_EQ("-", request.inm);
  }
}

// Tests that a server that ignores If-None-Match costs at most one buffer of a large archive:
// the install agent records what the program read, sockets and files together, from
// /proc/<pid>/io of the bootstrap process, which waits for it.
TEST_F(DownloadTest, ServerIgnoringTheConditionCostsOneBuffer) {
  writeFile(root_ / "stage/install",
            "p=$$\nfor i in 1 2 3 4 5; do\n"
            "  p=$(awk '/^PPid:/{print $2}' /proc/$p/status)\n"
            "  if [ \"$(readlink /proc/$p/exe)\" = \"$BI_PROGRAM\" ]; then\n"
            "    cat /proc/$p/io > \"$BI_RECORD.io\"; break\n  fi\ndone\n");
  ASSERT_EQ(0, runShell("cd " + root_.path() + "/stage && head -c 64000000 /dev/urandom > big" +
                        " && rm -f ../agent.zip && zip -q -0 ../agent.zip install big"));
  Endpoint server(archive_, {"--ignore-if-none-match"});
  setEndpointUrl(server.url());
  const Env env = {{"BI_PROGRAM", executable_}};
  ASSERT_EQ(0, run({}, env).exitStatus);
  const ProcessResult hit = run({}, env);
  EXPECT_EQ(0, hit.exitStatus) << hit.err;
  EXPECT_EQ("Downloading\n", hit.err);
  EXPECT_EQ(200, server.requestWithCondition(storedTag(), 2).status);
  const std::string io = readFile(record_ + ".io");
  ASSERT_NE(std::string::npos, io.find("rchar: ")) << io;
  EXPECT_LT(std::stoull(io.substr(io.find("rchar: ") + 7)), 768u * 1024);
}

TEST_F(DownloadTest, OverrideVariable) {
  Endpoint server(archive_);
  setEndpointUrl("http://127.0.0.1:9/not-this-one.zip");
  const ProcessResult set = run({}, {{"ZR_INTERNAL_INSTALL_AGENT_URL", server.url()}});
  EXPECT_EQ(0, set.exitStatus) << set.err;
  // Set but empty: the empty URL is used, and fails as a URL.
  const ProcessResult empty = run({}, {{"ZR_INTERNAL_INSTALL_AGENT_URL", ""}});
  EXPECT_EQ(255, empty.exitStatus);
  EXPECT_NE(std::string::npos, empty.err.find("Error during the download process.")) << empty.err;
  // Unset: the endpoint file's URL.
  setEndpointUrl(server.url("/redirect/1/agent.zip"));
  EXPECT_EQ(0, run().exitStatus);
  EXPECT_EQ(2, agentRuns());
  const std::vector<Request> requests = server.requests(3);
  EXPECT_TRUE(std::any_of(requests.begin(), requests.end(), [](const Request& request) {
    return request.path == "/redirect/1/agent.zip";
  }));
}

// Tests that whatever the cache's own files hold, a run neither breaks nor sends it as a header:
// the cache is found out of date, replaced, and its validation string put right.
TEST_F(DownloadTest, CacheFilesOfAnyContent) {
  Endpoint server(archive_);
  setEndpointUrl(server.url());
  ASSERT_EQ(0, run().exitStatus);
  const std::string tag = storedTag();
  std::mt19937 random(20261206);
  std::vector<std::string> contents = {std::string(50 * 1024 * 1024, 'e'),
                                       tag + std::string("\0tail", 5), tag + "\x01",
                                       tag + "\r\nIf-None-Match: *"};
  for (int i = 0; i < 4; ++i) {
    std::string bytes(random() % 200 + 1, '\0');
    std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<char>(random()); });
    contents.push_back(bytes);
  }
  for (const std::string& content : contents) {
    writeFile(cacheDir() + ".validatestring", content);
    const ProcessResult result = run();
    ASSERT_EQ(0, result.exitStatus) << result.err;
    EXPECT_EQ(tag, storedTag());
  }
  EXPECT_EQ(1 + static_cast<int>(contents.size()), agentRuns());
  // A sent condition is a whole, well-formed header value: never one with a control byte.
  for (const Request& request : server.requests(contents.size() + 1)) {
    EXPECT_TRUE(request.inm == "-" || request.inm == tag) << request.inm;
  }
  // A lock file that cannot be opened makes no run wait: there is nothing to hold.
  std::filesystem::remove(cacheDir() + ".lock");
  std::filesystem::create_directory(cacheDir() + ".lock");
  EXPECT_EQ(0, run().exitStatus);
  writeFile(cacheDir() + ".validatestring", "\"old\"");
  EXPECT_EQ(0, run().exitStatus);
  EXPECT_EQ(tag, storedTag());
}

// Tests the bar on a terminal: it fills while the archive arrives when its length is known, and
// stays still, without a filled part, when it is not.
TEST_F(DownloadTest, BarIsIndeterminateWithoutALength) {
  makeZip(archive_, {{"install", kRecordingAgent}, {"padding", std::string(600'000, 'p')}});
  for (const bool announced : {true, false}) {
    std::vector<std::string> args = {"--rate", "1000000"};
    if (!announced) {
      args.emplace_back("--no-length");
    }
    Endpoint server(archive_, args);
    setEndpointUrl(server.url());
    std::filesystem::remove_all(cacheDir());
    // script(1) gives the run a terminal, on which the window is redrawn in place.
    const ProcessResult result = runProcess(
        {"/usr/bin/script", "-qec", smart_quote(executable_), "/dev/null"}, environment());
    EXPECT_EQ(0, result.exitStatus) << result.out;
    const std::string downloading = result.out.substr(0, result.out.find("Initializing"));
    EXPECT_EQ(announced, downloading.find('#') != std::string::npos) << downloading;
  }
}
