// Tests bi-endpoint, and the nginx the tests also download from, through the real curl tool.

#include "support/endpoint_server.h"

#include <gtest/gtest.h>
#include <strings.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/nginx_server.h"
#include "support/process.h"
#include "support/scoped_temp_dir.h"

using testing_support::EndpointLogLine;
using testing_support::EndpointServer;
using testing_support::NginxServer;
using testing_support::readFile;
using testing_support::runProcess;
using testing_support::ScopedTempDir;
using testing_support::writeFile;

namespace {

constexpr int kCurlPartialFile = 18;
constexpr int kCurlTimedOut = 28;
constexpr int kCurlBadCertificate = 60;

struct CurlReply {
  int exitStatus = -1;
  int httpCode = 0;     // of the last response
  std::string headers;  // the last response's header block
  std::string body;
  std::string error;
};

// A quoted string of 32 lowercase hex digits.
bool isSha256Tag(const std::string& tag) {
  return tag.size() == 34 && tag.front() == '"' && tag.back() == '"' &&
         tag.find_first_not_of("0123456789abcdef", 1) == 33;
}

// Bytes that differ from one `seed` to another, and are no zip archive.
std::string someContent(size_t size, unsigned seed) {
  std::string content(size, '\0');
  unsigned state = seed * 2654435761u + 1;
  for (char& byte : content) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<char>(state >> 24);
  }
  return content;
}

class CurlTest : public testing::Test {
 protected:
  // Runs curl, ignoring its configuration files and any proxy, with the extra `options`.
  CurlReply curl(const std::string& url, const std::vector<std::string>& options = {}) {
    std::vector<std::string> args = {
        "curl",           "-q", "--noproxy",   "*",  "-sS",         "--max-time", "5", "-D",
        dir_ / "headers", "-o", dir_ / "body", "-w", "%{http_code}"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(url);
    ::unlink((dir_ / "headers").c_str());
    ::unlink((dir_ / "body").c_str());
    const testing_support::ProcessResult result = runProcess("/usr/bin/curl", args);
    CurlReply reply;
    reply.exitStatus = result.exitStatus;
    reply.httpCode = static_cast<int>(std::strtol(result.out.c_str(), nullptr, 10));
    reply.body = readFile(dir_ / "body");
    reply.error = result.err;
    // With -L every response's header block is there; the last one counts.
    const std::string headers = readFile(dir_ / "headers");
    const size_t end = headers.rfind("\r\n\r\n");
    const size_t start = end == std::string::npos || end == 0 ? std::string::npos
                                                              : headers.rfind("\r\n\r\n", end - 1);
    reply.headers = headers.substr(start == std::string::npos ? 0 : start + 4);
    return reply;
  }

  // The value of header `name` in the reply; empty when absent.
  static std::string header(const CurlReply& reply, const std::string& name) {
    std::istringstream lines(reply.headers);
    for (std::string line; std::getline(lines, line);) {
      const size_t colon = line.find(':');
      if (colon != std::string::npos &&
          strcasecmp(line.substr(0, colon).c_str(), name.c_str()) == 0) {
        const size_t start = line.find_first_not_of(' ', colon + 1);
        const size_t end = line.find_last_not_of("\r ");
        return start == std::string::npos || end < start ? "" : line.substr(start, end + 1 - start);
      }
    }
    return "";
  }

  ScopedTempDir dir_;
};

class NginxServerTest : public CurlTest {};

class EndpointServerTest : public CurlTest {
 protected:
  void SetUp() override { writeFile(archive_, content_); }

  const std::string archive_ = dir_ / "agent.zip";
  const std::string content_ = someContent(size_t{300} * 1000, 1);  // more than one 256 KiB piece
};

}  // namespace

// --- Tags and conditional requests ---

TEST_F(EndpointServerTest, ServesArchiveWithStableStrongEtag) {
  EndpointServer server(archive_);
  const CurlReply first = curl(server.url("/agent.zip"));
  const CurlReply second = curl(server.url("/any/other/path"));
  ASSERT_EQ(0, first.exitStatus) << first.error;
  EXPECT_EQ(200, first.httpCode);
  EXPECT_EQ(content_, first.body);
  EXPECT_EQ(std::to_string(content_.size()), header(first, "Content-Length"));
  EXPECT_TRUE(isSha256Tag(header(first, "ETag"))) << header(first, "ETag");
  EXPECT_EQ(header(first, "ETag"), header(second, "ETag"));
  EXPECT_EQ(content_, second.body);
  const std::vector<EndpointLogLine> log = server.waitForLogLines(2);
  ASSERT_EQ(2u, log.size());
  EXPECT_EQ("GET", log[0].method);
  EXPECT_EQ("/agent.zip", log[0].path);
  EXPECT_EQ("-", log[0].inm);
  EXPECT_EQ(200, log[0].status);
  EXPECT_EQ(content_.size(), log[0].bodyBytes);
  EXPECT_EQ("/any/other/path", log[1].path);
}

// Tests that a cache hit costs no body: exact tag, a list holding it, a weak form and "*".
TEST_F(EndpointServerTest, MatchingIfNoneMatchAnswers304WithoutBody) {
  EndpointServer server(archive_);
  const std::string tag = header(curl(server.url("/a.zip")), "ETag");
  ASSERT_FALSE(tag.empty());
  for (const std::string& inm : {tag, "\"other\", " + tag, "W/" + tag, std::string("*")}) {
    const CurlReply reply = curl(server.url("/a.zip"), {"-H", "If-None-Match: " + inm});
    EXPECT_EQ(304, reply.httpCode) << inm;
    EXPECT_EQ("", reply.body);
    EXPECT_EQ(tag, header(reply, "ETag"));
  }
  const CurlReply stale = curl(server.url("/a.zip"), {"-H", "If-None-Match: \"other\""});
  EXPECT_EQ(200, stale.httpCode);
  EXPECT_EQ(content_, stale.body);
  const std::vector<EndpointLogLine> log = server.waitForLogLines(6);
  ASSERT_EQ(6u, log.size());
  EXPECT_EQ(tag, log[1].inm);
  EXPECT_EQ("\"other\", " + tag, log[2].inm);
  for (size_t i = 1; i <= 4; ++i) {
    EXPECT_EQ(304, log[i].status);
    EXPECT_EQ(0u, log[i].bodyBytes);
  }
  EXPECT_EQ(content_.size(), log[5].bodyBytes);
}

// Tests that an archive rewritten in place at once, with the same size, gets a new tag.
TEST_F(EndpointServerTest, RewrittenArchiveGetsNewEtag) {
  EndpointServer server(archive_);
  const std::string oldTag = header(curl(server.url("/a.zip")), "ETag");
  const std::string newContent = someContent(content_.size(), 2);
  writeFile(archive_, newContent);
  const CurlReply reply = curl(server.url("/a.zip"), {"-H", "If-None-Match: " + oldTag});
  EXPECT_EQ(200, reply.httpCode);
  EXPECT_EQ(newContent, reply.body);
  EXPECT_NE(oldTag, header(reply, "ETag"));
  EXPECT_EQ(304,
            curl(server.url("/a.zip"), {"-H", "If-None-Match: " + header(reply, "ETag")}).httpCode);
}

TEST_F(EndpointServerTest, IgnoreIfNoneMatchAlwaysSendsBody) {
  EndpointServer server(archive_, {"--ignore-if-none-match"});
  const std::string tag = header(curl(server.url("/a.zip")), "ETag");
  const CurlReply reply = curl(server.url("/a.zip"), {"-H", "If-None-Match: " + tag});
  EXPECT_EQ(200, reply.httpCode);
  EXPECT_EQ(tag, header(reply, "ETag"));
  EXPECT_EQ(content_, reply.body);
}

TEST_F(EndpointServerTest, NoEtagSendsNoTagAndNever304) {
  EndpointServer server(archive_, {"--no-etag"});
  const CurlReply reply = curl(server.url("/a.zip"), {"-H", "If-None-Match: *"});
  EXPECT_EQ(200, reply.httpCode);
  EXPECT_EQ("", header(reply, "ETag"));
  EXPECT_EQ(content_, reply.body);
}

// --- Bodies ---

TEST_F(EndpointServerTest, BodyFileReplacesArchiveWithItsOwnTag) {
  const std::string other = dir_ / "not-a-zip.txt";
  writeFile(other, "this is not a zip archive\n");
  EndpointServer archiveServer(archive_);
  EndpointServer bodyServer(archive_, {"--body-file", other});
  const CurlReply reply = curl(bodyServer.url("/a.zip"));
  EXPECT_EQ(200, reply.httpCode);
  EXPECT_EQ("this is not a zip archive\n", reply.body);
  EXPECT_FALSE(header(reply, "ETag").empty());
  EXPECT_NE(header(curl(archiveServer.url("/a.zip")), "ETag"), header(reply, "ETag"));
}

TEST_F(EndpointServerTest, EmptyBodyAnnouncesZeroLength) {
  EndpointServer server(archive_, {"--empty-body"});
  const CurlReply reply = curl(server.url("/a.zip"));
  EXPECT_EQ(0, reply.exitStatus) << reply.error;
  EXPECT_EQ(200, reply.httpCode);
  EXPECT_EQ("0", header(reply, "Content-Length"));
  EXPECT_EQ("", reply.body);
  EXPECT_EQ(0u, server.waitForLogLines(1).at(0).bodyBytes);
}

TEST_F(EndpointServerTest, NoLengthUsesChunkedEncoding) {
  EndpointServer server(archive_, {"--no-length"});
  const CurlReply reply = curl(server.url("/a.zip"));
  EXPECT_EQ(0, reply.exitStatus) << reply.error;
  EXPECT_EQ("chunked", header(reply, "Transfer-Encoding"));
  EXPECT_EQ("", header(reply, "Content-Length"));
  EXPECT_EQ(content_, reply.body);
  EXPECT_EQ(content_.size(), server.waitForLogLines(1).at(0).bodyBytes);
}

TEST_F(EndpointServerTest, StatusOptionAnswersEveryRequestWithItsBody) {
  EndpointServer server(archive_, {"--status", "404"});
  const CurlReply reply = curl(server.url("/a.zip"));
  EXPECT_EQ(404, reply.httpCode);
  EXPECT_EQ(content_, reply.body);
  EXPECT_EQ(404, server.waitForLogLines(1).at(0).status);
}

TEST_F(EndpointServerTest, RateSlowsTheBodyDown) {
  EndpointServer server(archive_, {"--rate", "1000000"});
  const auto start = std::chrono::steady_clock::now();
  const CurlReply reply = curl(server.url("/a.zip"));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(content_, reply.body);
  // 300 kB at 1 MB/s: about 0.3 s, less the last piece sent without waiting.
  EXPECT_GE(elapsed, std::chrono::milliseconds(200));
}

// --- Broken transfers ---

TEST_F(EndpointServerTest, CutAfterMakesCurlFailWithPartialFile) {
  EndpointServer server(archive_, {"--cut-after", "1000"});
  const CurlReply reply = curl(server.url("/a.zip"));
  EXPECT_EQ(kCurlPartialFile, reply.exitStatus) << reply.error;
  EXPECT_EQ(std::to_string(content_.size()), header(reply, "Content-Length"));
  EXPECT_EQ(content_.substr(0, 1000), reply.body);
  EXPECT_EQ(1000u, server.waitForLogLines(1).at(0).bodyBytes);
}

TEST_F(EndpointServerTest, AnnounceExtraMakesCurlFailAfterWholeBody) {
  EndpointServer server(archive_, {"--announce-extra", "10"});
  const CurlReply reply = curl(server.url("/a.zip"));
  EXPECT_EQ(kCurlPartialFile, reply.exitStatus) << reply.error;
  EXPECT_EQ(std::to_string(content_.size() + 10), header(reply, "Content-Length"));
  EXPECT_EQ(content_, reply.body);
}

// Tests that a stalled response keeps its connection until the server stops, that stopping
// does not hang on it, and that its log line comes with the stop.
TEST_F(EndpointServerTest, StallHoldsConnectionUntilStopped) {
  EndpointServer server(archive_, {"--stall-after", "1000"});
  const CurlReply reply = curl(server.url("/a.zip"), {"--max-time", "0.5"});
  EXPECT_EQ(kCurlTimedOut, reply.exitStatus) << reply.error;
  EXPECT_EQ(1000u, reply.body.size());
  EXPECT_TRUE(server.logLines().empty());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(0, server.stop());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  const std::vector<EndpointLogLine> log = server.logLines();
  ASSERT_EQ(1u, log.size());
  EXPECT_EQ(1000u, log[0].bodyBytes);
}

// --- Redirects, TLS, the program itself ---

TEST_F(EndpointServerTest, RedirectsCountDownToTheContent) {
  EndpointServer server(archive_);
  const CurlReply single = curl(server.url("/redirect/2/x/agent.zip?v=1"));
  EXPECT_EQ(302, single.httpCode);
  EXPECT_EQ("/redirect/1/x/agent.zip?v=1", header(single, "Location"));
  const CurlReply followed = curl(server.url("/redirect/3/agent.zip"), {"-L"});
  EXPECT_EQ(0, followed.exitStatus) << followed.error;
  EXPECT_EQ(200, followed.httpCode);
  EXPECT_EQ(content_, followed.body);
  const std::vector<EndpointLogLine> log = server.waitForLogLines(5);
  ASSERT_EQ(5u, log.size());
  EXPECT_EQ("/redirect/3/agent.zip", log[1].path);
  EXPECT_EQ(302, log[3].status);
  EXPECT_EQ("/redirect/0/agent.zip", log[4].path);
  EXPECT_EQ(200, log[4].status);
}

TEST_F(EndpointServerTest, TlsWithSelfSignedCertificate) {
  const std::string cert = dir_ / "cert.pem";
  const std::string key = dir_ / "key.pem";
  const testing_support::ProcessResult made =
      runProcess("/usr/bin/openssl", {"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                                      "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", key,
                                      "-out", cert, "-subj", "/CN=127.0.0.1", "-days", "1"});
  ASSERT_EQ(0, made.exitStatus) << made.err;
  EndpointServer server(archive_, {"--tls-cert", cert, "--tls-key", key});
  ASSERT_TRUE(server.url("/a.zip").starts_with("https://127.0.0.1:"));
  const CurlReply reply = curl(server.url("/a.zip"), {"-k"});
  EXPECT_EQ(0, reply.exitStatus) << reply.error;
  EXPECT_EQ(content_, reply.body);
  EXPECT_FALSE(header(reply, "ETag").empty());
  EXPECT_EQ(kCurlBadCertificate, curl(server.url("/a.zip")).exitStatus);
}

TEST_F(EndpointServerTest, StopsCleanlyOnSigterm) {
  EndpointServer server(archive_);
  EXPECT_EQ(200, curl(server.url("/a.zip")).httpCode);
  EXPECT_EQ(0, server.stop());
}

TEST_F(EndpointServerTest, MissingArchiveGives404) {
  EndpointServer server(dir_ / "missing.zip");
  EXPECT_EQ(404, curl(server.url("/a.zip")).httpCode);
}

TEST(EndpointProgramTest, BadOptionExitsWithUsage) {
  const testing_support::ProcessResult result =
      runProcess(testing_support::endpointProgram(), {"bi-endpoint", "--bogus"});
  EXPECT_EQ(2, result.exitStatus);
  EXPECT_NE(std::string::npos, result.err.find("--bogus"));
  EXPECT_NE(std::string::npos, result.err.find("usage:"));
}

// --- nginx ---

TEST_F(NginxServerTest, AnswersMatchingIfNoneMatchWith304) {
  const std::string root = dir_ / "www";
  testing_support::makeDirs(root);
  testing_support::makeZip(root + "/agent.zip", {{"install", "echo hi\n"}});
  NginxServer nginx(root);
  const CurlReply full = curl(nginx.url("/agent.zip"));
  ASSERT_EQ(0, full.exitStatus) << full.error;
  EXPECT_EQ(200, full.httpCode);
  EXPECT_EQ(readFile(root + "/agent.zip"), full.body);
  const std::string tag = header(full, "ETag");
  ASSERT_FALSE(tag.empty());
  const CurlReply hit = curl(nginx.url("/agent.zip"), {"-H", "If-None-Match: " + tag});
  EXPECT_EQ(304, hit.httpCode);
  EXPECT_EQ("", hit.body);
  const std::vector<testing_support::NginxLogLine> log = nginx.waitForAccessLog(2);
  ASSERT_EQ(2u, log.size());
  EXPECT_EQ(200, log[0].status);
  EXPECT_EQ(full.body.size(), log[0].bodyBytes);
  EXPECT_EQ("-", log[0].inm);
  EXPECT_EQ("GET /agent.zip HTTP/1.1", log[0].request);
  EXPECT_EQ(304, log[1].status);
  EXPECT_EQ(0u, log[1].bodyBytes);
  EXPECT_EQ(tag, log[1].inm);
  EXPECT_EQ(0, nginx.stop());
}
