// Signed install agents end to end: keys and signatures made by Debian's minisign, the bundle's
// installAgentKey.pub, and bi-endpoint serving the archive and its ".minisig". Code from the
// network runs only when a pinned key signed it; anything else fails before a byte is unpacked.

#include <fnmatch.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "e2e/fixture.h"

using namespace testing_support;

namespace {

enum class Tamper { kNone, kArchiveByte, kNoSidecar, kGarbage, kCut, kTrustedComment };

struct Signing {
  const char* name;
  std::string pinned;  // the keys in installAgentKey.pub: "a", "b", "ab"; "" for no file
  char signer;         // 'a' or 'b'
  Tamper tamper = Tamper::kNone;
  std::string err = {};  // pattern of standard error after "Downloading\n"; {A}/{B}: key ids
};

const char* const kNotVerified = "\nThe download could not be verified.\nInstallation failed.\n";

// clang-format off
const Signing kSignings[] = {
    {.name = "GoodSignature", .pinned = "a", .signer = 'a', .err = "Download verified, signed with key {A}: timestamp:*file:agent.zip*hashed\nInitializing the installer\n"},
    {.name = "FirstOfTwoKeys", .pinned = "ab", .signer = 'a', .err = "Download verified, signed with key {A}: *\nInitializing the installer\n"},
    {.name = "EitherOfTwoKeys", .pinned = "ab", .signer = 'b', .err = "Download verified, signed with key {B}: *\nInitializing the installer\n"},
    {.name = "NoKeyFileVerifiesNothing", .pinned = "", .signer = 'a', .err = "Initializing the installer\n"},
    {.name = "ChangedByte", .pinned = "a", .signer = 'a', .tamper = Tamper::kArchiveByte, .err = "Download not verified! the signature does not match the archive {SIG}" + std::string(kNotVerified)},
    {.name = "OtherKey", .pinned = "a", .signer = 'b', .err = "Download not verified! signed with key {B}, which is not trusted {SIG}" + std::string(kNotVerified)},
    {.name = "MissingSignature", .pinned = "ab", .signer = 'a', .tamper = Tamper::kNoSidecar, .err = "Download not verified! no signature (status 404) {SIG}" + std::string(kNotVerified)},
    {.name = "GarbageSignature", .pinned = "a", .signer = 'a', .tamper = Tamper::kGarbage, .err = "Download not verified! no untrusted comment in the signature {SIG}" + std::string(kNotVerified)},
    {.name = "CutSignature", .pinned = "a", .signer = 'a', .tamper = Tamper::kCut, .err = "Download not verified! no trusted comment in the signature {SIG}" + std::string(kNotVerified)},
    {.name = "ChangedTrustedComment", .pinned = "a", .signer = 'a', .tamper = Tamper::kTrustedComment, .err = "Download not verified! the trusted comment is not the signer's {SIG}" + std::string(kNotVerified)},
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

  // Pins the keys (none: no key file) and signs the archive with the key.
  void pinAndSign(const std::string& pinned, char signer) {
    for (const char key : pinned) {
      writeFile(resources_ + "/installAgentKey.pub",
                readFile(resources_ + "/installAgentKey.pub") +
                    readFile(root_ / (key + std::string(".pub"))));
    }
    ASSERT_EQ(0, runProcess({"/usr/bin/minisign", "-S", "-s",
                             root_ / (signer + std::string(".key")), "-m", archive_})
                     .exitStatus);
  }

  std::string ids_[2];
};

class SigningTableTest : public SigningTest, public testing::WithParamInterface<Signing> {};

}  // namespace

TEST_P(SigningTableTest, Row) {
  const Signing& signing = GetParam();
  writeFile(cacheDir() + "installagent/install", kRecordingAgent);  // out of date
  writeFile(cacheDir() + ".validatestring", "\"old\"");
  pinAndSign(signing.pinned, signing.signer);
  const std::string signature = archive_ + ".minisig";
  std::string text = readFile(signature);
  switch (signing.tamper) {
    case Tamper::kArchiveByte: {
      std::string bytes = readFile(archive_);
      bytes[bytes.size() / 2] ^= 1;
      writeFile(archive_, bytes);
      break;
    }
    case Tamper::kNoSidecar:
      std::filesystem::remove(signature);
      break;
    case Tamper::kGarbage:
      writeFile(signature, "\x89PNG\r\n garbage");
      break;
    case Tamper::kCut:
      writeFile(signature, text.substr(0, text.find("trusted comment:", 20)));
      break;
    case Tamper::kTrustedComment:
      writeFile(signature, text.replace(text.find("file:"), 5, "File:"));
      break;
    case Tamper::kNone:
      break;
  }
  Endpoint server(archive_, {"--signature", signature});
  setEndpointUrl(server.url());
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
