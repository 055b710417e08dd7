#include "ServiceFixture.h"
#include "trust/CertificateChain.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdlib>
#include <future>
#include <thread>
#include <tuple>

namespace {

namespace fs = std::filesystem;
using hvtest::Http;
using hvtest::ServiceProcess;
using ServiceSafety = hvtest::ContentFolder;

// A failure answers its status and error word; the exception, with the file it
// names, goes only to the log.
TEST_F(ServiceSafety, ErrorAnswersTellNoInternals) {
    const fs::path missing = m_dir.Path() / "gone" / "catalogue.json";
    ServiceProcess service{
        m_content.root, m_dir.Path() / "a.db", {"--catalogue-file", missing.string()}};
    ASSERT_EQ(service.Admin({"add-user", "alice", "pw"}), 0);
    const std::vector<std::string> headers = {
        std::string("X-Admin-Token: ") + ServiceProcess::kAdminToken,
        "X-Session: " + service.Session("alice", "pw")};
    // path, body to post (empty: a GET), status, error word, what the log tells
    const std::tuple<const char*, const char*, long, const char*, const char*> cases[] = {
        {"/api/catalogue", "", 500, "internal", "cannot read"},
        {"/admin/faults", R"({"fail_next": -1})", 400, "bad_request",
         "must be a non-negative integer"},
    };
    for (const auto& [path, body, status, word, logged] : cases) {
        SCOPED_TRACE(path);
        auto reply = Http(*body ? "POST" : "GET", service.Url() + path, body, headers);
        EXPECT_EQ(reply.status, status);
        EXPECT_EQ(hvtest::Json(reply), nlohmann::json({{"error", word}})) << reply.body;
        EXPECT_NE(service.Log().find(logged), std::string::npos) << service.Log();
    }
}

// The token comes from a file or the environment, and only all of it opens the admin requests.
TEST_F(ServiceSafety, AdminTokenFromFileOrEnvironmentMatchesOnlyWhole) {
    const std::string token = ServiceProcess::kAdminToken;
    const std::string cut = token.substr(0, token.size() - 1);
    for (const bool fromEnvironment : {false, true}) {
        SCOPED_TRACE(fromEnvironment ? "environment" : "file");
        if (fromEnvironment) {
            setenv("HALVORY_ADMIN_TOKEN", token.c_str(), 1);
        }
        ServiceProcess service{m_content.root, m_dir.Path() / "a.db"};
        unsetenv("HALVORY_ADMIN_TOKEN");
        for (const std::string& wrong : {std::string("wrong"), cut + "x", cut, token + "x"}) {
            EXPECT_EQ(service.Faults("{}", wrong), 403) << wrong;
        }
        EXPECT_EQ(service.Faults("{}", token), 200);
    }
}

// Command lines the service refuses rather than run less safely than asked
// (a listen address without a host, a token that every process can read, a
// weak or unquotable link secret, half a certificate), or cannot carry out.
TEST_F(ServiceSafety, UnsafeOrBadCommandLinesAreRefused) {
    const hvtest::TestCertificates ours{m_dir.Path() / "ours"};
    const std::string db = (m_dir.Path() / "a.db").string();
    ASSERT_EQ(hvtest::RunProgram({HV_SERVICE_BIN, "admin", "--db", db, "add-user", "alice", "pw"}),
              0);
    const auto secret = [&](const char* name, const std::string& text) {
        hvtest::WriteFile(m_dir.Path() / name, text);
        return (m_dir.Path() / name).string();
    };
    const auto serve = [&](const std::vector<std::string>& extra) {
        std::vector<std::string> argv = {
            "/usr/bin/timeout", "10",           HV_SERVICE_BIN, "serve",
            "--content",        m_content.root, "--db",         db};
        argv.insert(argv.end(), extra.begin(), extra.end());
        return argv;
    };
    const std::string any = "127.0.0.1:0";
    const std::pair<std::vector<std::string>, int> cases[] = {
        {serve({"--listen", ":0"}), 2},
        {serve({"--listen", any, "--admin-token", "secret"}), 2},
        {serve({"--listen", any, "--link-secret-file", secret("short", "tooshort\n")}), 2},
        {serve({"--listen", any, "--link-secret-file",
                secret("quoted", "a-long-enough-secret\"; return 200; #\n")}),
         2},
        {serve({"--listen", any, "--tls-cert-file", "cert.pem"}), 2},
        // A key that does not go with the certificate.
        {serve({"--listen", any, "--tls-cert-file", ours.ca, "--tls-key-file", ours.key}), 1},
        {{HV_SERVICE_BIN, "serve", "--content"}, 2},
        {{HV_SERVICE_BIN, "admin", "--db", db, "suspend", "nobody"}, 1},
        {{HV_SERVICE_BIN, "bogus"}, 2},
    };
    for (const auto& [argv, status] : cases) {
        SCOPED_TRACE(argv.back());
        std::string out;
        EXPECT_EQ(hvtest::RunProgram(argv, &out), status);
        EXPECT_EQ(out.find("listening"), std::string::npos) << out;
    }
}

// Each stops it at once, a long poll in progress and all; before that, it
// fails as many requests as it was told to.
TEST_F(ServiceSafety, SignalsStopItAndFailuresComeAsTold) {
    ServiceProcess service{m_content.root, m_dir.Path() / "a.db", {"--fail-next", "2"}};
    ASSERT_EQ(service.Admin({"add-user", "alice", "pw"}), 0);
    for (int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        const std::string archive = service.Url() + ServiceProcess::PackagePath(m_content.archive);
        EXPECT_EQ(Http("GET", service.Url() + "/discover").status, 503);
        EXPECT_EQ(Http("GET", archive).status, 503);
        EXPECT_EQ(Http("GET", archive).status, 200);
        const auto session = service.Session("alice", "pw");
        ASSERT_FALSE(session.empty());
        auto poll = std::async(std::launch::async, [&] {
            return Http("GET", service.Url() + "/api/events?wait=60", {},
                        {"X-Session: " + session});
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(service.Stop(signal, 5000), 0);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
        poll.get();
        service.Start();
    }
}

// A certificate as DER, the form a chain comes in.
std::string Der(const std::filesystem::path& pem) {
    const auto der = pem.string() + ".der";
    EXPECT_EQ(hvtest::RunProgram({"/usr/bin/openssl", "x509", "-in", pem.string(), "-outform",
                                  "der", "-out", der}),
              0);
    return hvtest::ReadFile(der);
}

// Over TLS the service is reached only by those who trust its authority, and
// the addresses it gives out keep the scheme.
TEST_F(ServiceSafety, TlsIsTrustedOnlyThroughItsAuthority) {
    const hvtest::TestCertificates ours{m_dir.Path() / "ours"};
    const hvtest::TestCertificates other{m_dir.Path() / "other"};
    ServiceProcess service{m_content.root, m_dir.Path() / "a.db", ours.ServeArgs()};
    ASSERT_EQ(service.Url().rfind("https://127.0.0.1:", 0), 0u) << service.Url();
    ASSERT_EQ(service.Admin({"add-user", "alice", "pw"}), 0);
    const std::string ca = ours.ca.string();
    const std::string discover = service.Url() + "/discover";
    EXPECT_EQ(Http("GET", discover, {}, {}, ca).status, 200);
    EXPECT_EQ(Http("GET", discover, {}, {}, other.ca.string()).status, 0);
    EXPECT_EQ(Http("GET", discover).status, 0) << "no public authority vouches for it";
    EXPECT_EQ(Http("GET", "http" + discover.substr(5)).status, 0) << "plain HTTP";

    service.UseAuthority(ca);
    const std::string session = "X-Session: " + service.Session("alice", "pw");
    const std::string archive =
        hvtest::Json(Http("GET", service.Url() + "/api/packages/SPACE-D", {}, {session}, ca))
            .value("archive_url", "");
    EXPECT_EQ(archive.rfind(service.Url() + "/packages/", 0), 0u) << archive;
    EXPECT_TRUE(Http("GET", archive, {}, {}, ca).body ==
                hvtest::ReadFile(m_content.root / "packages" / "space-demo.tar"));

    // The web view checks a server's chain against the service's authority alike.
    const std::string leaf = Der(ours.cert);
    // what, chain, host, authority file, trusted
    const std::tuple<const char*, std::vector<std::string>, std::string, std::string, bool>
        cases[] = {
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
    for (const auto& [what, chain, host, caFile, trusted] : cases) {
        EXPECT_EQ(hv::ChainTrusted(chain, host, caFile), trusted) << what;
    }
}

using ArchiveHashes = hvtest::AccountTest;

// Many first requests for a package's description hash its archive once.
TEST_F(ArchiveHashes, ConcurrentFirstRequestsHashTheArchiveOnce) {
    // Large enough that the requests overlap while it is hashed.
    hvtest::WriteFile(m_content.root / "packages" / m_content.archive, std::string(64 << 20, 'h'));
    const std::string session = m_service.Session("bob", "pw");
    std::vector<hvtest::HttpReply> replies(8);
    {
        std::vector<std::jthread> requests;
        for (auto& reply : replies) {
            requests.emplace_back(
                [&reply, &session, this] { reply = Get("/api/packages/SPACE", session); });
        }
    }
    for (const auto& reply : replies) {
        ASSERT_EQ(reply.status, 200) << reply.body;
        EXPECT_EQ(hvtest::Json(reply)["sha256"], hvtest::Json(replies[0])["sha256"]);
    }
    const std::string log = m_service.Log(), hashed = "hashed " + m_content.archive;
    EXPECT_NE(log.find(hashed), std::string::npos) << log;
    EXPECT_EQ(log.find(hashed), log.rfind(hashed)) << "hashed more than once";
}

}  // namespace
