#include "provisioning/agent_signature.h"

#include <gtest/gtest.h>

// Tests that ".minisig" joins the archive's path, never its host, query or fragment, also where
// the URL has no path.
TEST(AgentSignatureTest, SignatureUrl) {
  // clang-format off
  const std::pair<const char*, const char*> rows[] = {  // the archive's URL, its signature's
      {"https://host/a/agent.zip?v=1#top", "https://host/a/agent.zip.minisig?v=1#top"},
      {"https://host", "https://host/.minisig"},
      {"https://user@host:8443?v=/x", "https://user@host:8443/.minisig?v=/x"},
      {"http://[::1]:8080#a/b", "http://[::1]:8080/.minisig#a/b"}};
  // clang-format on
  for (const auto& [archive, signature] : rows) {
    EXPECT_EQ(signature, signatureUrl(archive)) << archive;
  }
}
