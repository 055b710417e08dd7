// The web view's check of a server's chain against the service's own authority.

#include "ServiceHarness.h"
#include "trust/CertificateChain.h"

#include <gtest/gtest.h>

namespace {

std::string Der(const std::filesystem::path& pem) {
    const auto der = pem.string() + ".der";
    EXPECT_EQ(hvtest::RunProgram({"/usr/bin/openssl", "x509", "-in", pem.string(), "-outform",
                                  "der", "-out", der}),
              0);
    return hvtest::ReadFile(der);
}

TEST(CertificateChain, OnlyTheNamedAuthorityVouchesOnlyForTheNamedHost) {
    hvtest::TempDir dir;
    const hvtest::TestCertificates ours{dir.Path() / "ours"};
    const hvtest::TestCertificates other{dir.Path() / "other"};
    const std::string leaf = Der(ours.cert);
    const std::string ca = ours.ca.string();
    struct Case {
        const char* what;
        std::vector<std::string> chain;
        std::string host, caFile;
        bool trusted;
    };
    const Case cases[] = {
        {"ours", {leaf}, "127.0.0.1", ca, true},
        {"with its authority sent along", {leaf, Der(ours.ca)}, "127.0.0.1", ca, true},
        {"another authority", {leaf}, "127.0.0.1", other.ca.string(), false},
        {"another address", {leaf}, "127.0.0.2", ca, false},
        {"a name it does not carry", {leaf}, "localhost", ca, false},
        {"another server's", {Der(other.cert)}, "127.0.0.1", ca, false},
        {"the authority itself", {Der(ours.ca)}, "127.0.0.1", ca, false},
        {"no chain", {}, "127.0.0.1", ca, false},
        {"not a certificate", {leaf.substr(0, leaf.size() / 2)}, "127.0.0.1", ca, false},
        {"no authority", {leaf}, "127.0.0.1", "", false},
        {"an authority file that is not there", {leaf}, "127.0.0.1", ca + ".gone", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(hv::ChainTrusted(c.chain, c.host, c.caFile), c.trusted) << c.what;
    }
}

}  // namespace
