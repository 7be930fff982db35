// Tests bi-endpoint through the real curl tool: what the program's own tests cannot show of it.

#include "support/endpoint_server.h"

#include <gtest/gtest.h>
#include <strings.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/process.h"
#include "support/scoped_temp_dir.h"

using testing_support::EndpointLogLine;
using testing_support::EndpointServer;
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

// --- Bodies ---

// --- Broken transfers ---

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
