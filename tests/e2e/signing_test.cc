// Signed install agents end to end: keys made by Debian's minisign, the archive, its ".minisig"
// and the bundle's installAgentKey.pub by the vendor's script, bi-endpoint serving them. Code
// from the network runs only when a pinned key signed it; all else fails before any unpacking.

#include <fnmatch.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "e2e/fixture.h"

using namespace testing_support;

namespace {

struct Signing {
  const char* name;
  std::string pinned;       // the keys in installAgentKey.pub: "a", "b", "ab"; "" for no file
  char signer;              // 'a' or 'b'
  const char* tamper = "";  // a shell command run on $ARCHIVE and $SIG after the signing
  const char* query = "";   // of the endpoint URL: the signature's path goes before it
  std::string err = {};     // pattern of standard error after "Downloading\n"; {A}/{B}: key ids
};

const char* const kNotVerified = "\nThe download could not be verified.\nInstallation failed.\n";

// clang-format off
const Signing kSignings[] = {
    {.name = "GoodSignature", .pinned = "a", .signer = 'a', .query = "?v=1#top", .err = "Download verified, signed with key {A}: timestamp:*file:InstallAgent.zip*hashed\nInitializing the installer\n"},
    {.name = "FirstOfTwoKeys", .pinned = "ab", .signer = 'a', .err = "Download verified, signed with key {A}: *\nInitializing the installer\n"},
    {.name = "EitherOfTwoKeys", .pinned = "ab", .signer = 'b', .err = "Download verified, signed with key {B}: *\nInitializing the installer\n"},
    {.name = "NoKeyFileVerifiesNothing", .pinned = "", .signer = 'a', .err = "Initializing the installer\n"},
    {.name = "ChangedByte", .pinned = "a", .signer = 'a', .tamper = "printf X | dd of=\"$ARCHIVE\" bs=1 seek=99 conv=notrunc status=none", .err = "Download not verified! the signature does not match the archive {SIG}" + std::string(kNotVerified)},
    {.name = "OtherKey", .pinned = "a", .signer = 'b', .err = "Download not verified! signed with key {B}, which is not trusted {SIG}" + std::string(kNotVerified)},
    {.name = "MissingSignature", .pinned = "ab", .signer = 'a', .tamper = "rm \"$SIG\"", .err = "Download not verified! no signature (status 404) {SIG}" + std::string(kNotVerified)},
    {.name = "GarbageSignature", .pinned = "a", .signer = 'a', .tamper = "printf '\\211PNG\\r\\n garbage' > \"$SIG\"", .err = "Download not verified! no untrusted comment in the signature {SIG}" + std::string(kNotVerified)},
    {.name = "CutSignature", .pinned = "a", .signer = 'a', .tamper = "sed -i '/^trusted comment/,$d' \"$SIG\"", .err = "Download not verified! no trusted comment in the signature {SIG}" + std::string(kNotVerified)},
    {.name = "ChangedTrustedComment", .pinned = "a", .signer = 'a', .tamper = "sed -i s/file:/File:/ \"$SIG\"", .err = "Download not verified! the trusted comment is not the signer's {SIG}" + std::string(kNotVerified)},
};
// clang-format on

void PrintTo(const Signing& signing, std::ostream* out) {
  *out << signing.name;
}

class SigningTest : public ProgramTest {
 protected:
  SigningTest() {
    for (const char key : {'a', 'b'}) {
      const std::string name = root_ / std::string(1, key);
      EXPECT_EQ(
          0, runProcess({"/usr/bin/minisign", "-G", "-W", "-p", name + ".pub", "-s", name + ".key"})
                 .exitStatus);
      const std::string comment = readFile(name + ".pub");
      const size_t end = comment.find('\n');
      const size_t start = comment.rfind(' ', end) + 1;
      ids_[key - 'a'] = comment.substr(start, end - start);
    }
  }

  // Signs the recording install agent with the vendor's script and pins the keys (none: no
  // key file).
  void pinAndSign(const std::string& pinned, char signer) {
    const std::string agent = root_ / "agent";
    if (!exists(agent)) {  // once: the same archive, the same ETag, for every signature
      writeFile(agent + "/install", kRecordingAgent);
    }
    const auto pub = [this](char key) { return root_ / (key + std::string(".pub")); };
    std::vector<std::string> argv = {BI_SIGN_AGENT_PATH, "-s",
                                     root_ / (signer + std::string(".key")), agent, root_ / "out"};
    // The script refuses to sign with a key that is not among those it puts in the bundle.
    const bool signerPinned = pinned.find(signer) != std::string::npos;
    for (const char key : signerPinned ? pinned : std::string(1, signer)) {
      argv.push_back(pub(key));
    }
    ASSERT_EQ(0, runProcess(argv).exitStatus);
    archive_ = root_ / "out/InstallAgent.zip";
    std::string keys;
    for (const char key : pinned) {
      keys += readFile(pub(key));
    }
    if (signerPinned) {
      EXPECT_EQ(keys, readFile(root_ / "out/installAgentKey.pub"));
    }
    if (!pinned.empty()) {
      writeFile(resources_ + "/installAgentKey.pub", keys);
    }
  }

  std::string ids_[2];
};

class SigningTableTest : public SigningTest, public testing::WithParamInterface<Signing> {};

}  // namespace

TEST_P(SigningTableTest, Row) {
  const Signing& signing = GetParam();
  writeFile(cacheDir() + "installagent/install", kRecordingAgent);  // out of date
  writeFile(cacheDir() + ".validatestring", "\"old\"");
  writeFile(cacheDir() + ".signedby/x", "");  // no record, and in the way of one
  pinAndSign(signing.pinned, signing.signer);
  const std::string signature = archive_ + ".minisig";
  ASSERT_EQ(
      0, runProcess({"/bin/sh", "-c", signing.tamper}, {{"ARCHIVE", archive_}, {"SIG", signature}})
             .exitStatus);
  Endpoint server(archive_, {"--signature", signature});
  setEndpointUrl(server.url() + signing.query);
  const ProcessResult result = run();

  std::string pattern = "Downloading\n" + signing.err;
  for (const auto& [mark, value] :
       {std::pair{"{A}", ids_[0]}, {"{B}", ids_[1]}, {"{SIG}", server.url("/agent.zip.minisig")}}) {
    if (pattern.find(mark) != std::string::npos) {
      pattern.replace(pattern.find(mark), std::string(mark).size(), value);
    }
  }
  EXPECT_EQ(0, ::fnmatch(pattern.c_str(), result.err.c_str(), 0)) << result.err;
  // Without a key file nothing asks for a signature.
  EXPECT_EQ(signing.pinned.empty() ? 1u : 2u,
            server.requests(signing.pinned.empty() ? 1 : 2).size());
  const bool verified = signing.err.ends_with("Initializing the installer\n");
  EXPECT_EQ(verified ? 0 : 255, result.exitStatus);
  EXPECT_EQ(verified ? 1 : 0, agentRuns());
  if (verified) {
    expectCurrentCache(server);
    EXPECT_EQ(signing.pinned.empty() ? "" : ids_[signing.signer - 'a'],
              readFile(cacheDir() + ".signedby"));
  } else {
    expectNoInstallAgent();  // the out-of-date one went at the first data, as for any failure
  }
}

INSTANTIATE_TEST_SUITE_P(Signatures, SigningTableTest, testing::ValuesIn(kSignings),
                         [](const testing::TestParamInfo<Signing>& row) { return row.param.name; });

// Tests that a cache hit counts only for an install agent verified with a key that is pinned
// now: one put in place without a key file, or under a key no longer pinned, is downloaded again
// and verified; one under a pinned key costs no body.
TEST_F(SigningTest, CacheHitsNeedAPinnedSigner) {
  pinAndSign("", 'a');
  Endpoint server(archive_, {"--signature", archive_ + ".minisig"});
  setEndpointUrl(server.url());
  ASSERT_EQ(0, run().exitStatus);  // without a key file: not verified
  pinAndSign("a", 'a');
  for (const char* err :
       {"Downloading\nDownload verified*\nInitializing the installer\n", "Downloading\n"}) {
    const ProcessResult result = run();
    EXPECT_EQ(0, result.exitStatus);
    EXPECT_EQ(0, ::fnmatch(err, result.err.c_str(), 0)) << result.err;
  }
  std::filesystem::remove(resources_ + "/installAgentKey.pub");
  pinAndSign("b", 'b');  // a rotation that dropped key a
  const ProcessResult rotated = run();
  EXPECT_EQ(0, rotated.exitStatus);
  EXPECT_EQ(0,
            ::fnmatch(("Downloading\nDownload verified, signed with key " + ids_[1] + ":*").c_str(),
                      rotated.err.c_str(), 0))
      << rotated.err;
  EXPECT_EQ(ids_[1], readFile(cacheDir() + ".signedby"));
}

// Tests that the server's freshness holds only while the key that signed the cached install
// agent is pinned: once a rotation dropped it, the run asks again, and refuses what it signed.
TEST_F(SigningTest, FreshnessNeedsAPinnedSigner) {
  pinAndSign("a", 'a');
  const Endpoint server(root_ / "out", {"--cache-control", "max-age=3600"}, Server::kNginx);
  setEndpointUrl(server.url("/InstallAgent.zip"));
  ASSERT_EQ(0, run().exitStatus);
  EXPECT_EQ("", run().err);  // fresh: nothing asked
  writeFile(resources_ + "/installAgentKey.pub", readFile(root_ / "b.pub"));
  const ProcessResult unpinned = run();
  EXPECT_EQ(255, unpinned.exitStatus);
  EXPECT_TRUE(unpinned.err.find("key " + ids_[0] + ", which is not trusted") != std::string::npos)
      << unpinned.err;
}
