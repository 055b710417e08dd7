#include "ServiceHarness.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <thread>

namespace {

namespace fs = std::filesystem;

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}

// A failure answers its status and error word; the exception, with the file it
// names, goes only to the log.
TEST(ServiceSafety, ErrorAnswersTellNoInternals) {
    hvtest::TempDir dir;
    hvtest::TestContent content{dir.Path()};
    const fs::path missing = dir.Path() / "gone" / "catalogue.json";
    hvtest::ServiceProcess service{
        content.root, dir.Path() / "a.db", {"--catalogue-file", missing.string()}};
    ASSERT_EQ(service.Admin({"add-user", "alice", "pw"}), 0);
    const std::string session = service.Session("alice", "pw");
    ASSERT_FALSE(session.empty());

    const struct {
        std::string url, postBody;
        long status;
        const char* word;
        const char* logged;
    } cases[] = {
        {service.Url() + "/api/catalogue", "", 500, "internal", "cannot read"},
        {service.Url() + "/admin/faults", R"({"fail_next": -1})", 400, "bad_request",
         "must be a non-negative integer"},
    };
    for (const auto& c : cases) {
        auto reply =
            hvtest::Http(c.postBody.empty() ? "GET" : "POST", c.url, c.postBody,
                         {std::string("X-Admin-Token: ") + hvtest::ServiceProcess::kAdminToken,
                          "X-Session: " + session});
        EXPECT_EQ(reply.status, c.status) << c.url;
        EXPECT_EQ(nlohmann::json::parse(reply.body, nullptr, false),
                  nlohmann::json({{"error", c.word}}))
            << reply.body;
        EXPECT_NE(service.Log().find(c.logged), std::string::npos) << service.Log();
    }
}

// The token comes from a file or the environment, and only all of it opens the admin requests.
TEST(ServiceSafety, AdminTokenFromFileOrEnvironmentMatchesOnlyWhole) {
    hvtest::TempDir dir;
    hvtest::TestContent content{dir.Path()};
    const std::string token = hvtest::ServiceProcess::kAdminToken;
    for (const bool fromEnvironment : {false, true}) {
        if (fromEnvironment) {
            setenv("HALVORY_ADMIN_TOKEN", token.c_str(), 1);
        }
        hvtest::ServiceProcess service{content.root, dir.Path() / "a.db"};
        unsetenv("HALVORY_ADMIN_TOKEN");
        const std::pair<std::string, long> cases[] = {
            {"wrong", 403},
            {token.substr(0, token.size() - 1) + "x", 403},
            {token.substr(0, token.size() - 1), 403},
            {token + "x", 403},
            {token, 200},
        };
        for (const auto& [given, status] : cases) {
            EXPECT_EQ(service.Faults("{}", given), status) << given << " env " << fromEnvironment;
        }
    }
}

// Command lines the service refuses rather than run less safely than asked:
// a listen address without a host, and a token that every process can read.
TEST(ServiceSafety, UnsafeCommandLinesAreRefused) {
    hvtest::TempDir dir;
    hvtest::TestContent content{dir.Path()};
    const std::vector<std::string> serve = {"/usr/bin/timeout",
                                            "10",
                                            HV_SERVICE_BIN,
                                            "serve",
                                            "--content",
                                            content.root.string(),
                                            "--db",
                                            (dir.Path() / "a.db").string()};
    const auto shortSecret = dir.Path() / "short-secret";
    const auto quotedSecret = dir.Path() / "quoted-secret";
    hvtest::WriteFile(shortSecret, "tooshort\n");
    hvtest::WriteFile(quotedSecret, "a-long-enough-secret\"; return 200; #\n");
    const std::vector<std::string> extras[] = {
        {"--listen", ":0"},
        {"--listen", "127.0.0.1:0", "--admin-token", "secret"},
        {"--listen", "127.0.0.1:0", "--link-secret-file", shortSecret.string()},
        {"--listen", "127.0.0.1:0", "--link-secret-file", quotedSecret.string()},
        {"--listen", "127.0.0.1:0", "--tls-cert-file", "cert.pem"},
    };
    for (const auto& extra : extras) {
        auto argv = serve;
        argv.insert(argv.end(), extra.begin(), extra.end());
        std::string out;
        EXPECT_EQ(hvtest::RunProgram(argv, &out), 2) << extra.back();
        EXPECT_EQ(out.find("listening"), std::string::npos) << out;
    }
}

// Over TLS the service is reached only by those who trust its authority, and
// the addresses it gives out keep the scheme.
TEST(ServiceSafety, TlsIsTrustedOnlyThroughItsAuthority) {
    hvtest::TempDir dir;
    hvtest::TestContent content{dir.Path()};
    const hvtest::TestCertificates ours{dir.Path() / "ours"};
    const hvtest::TestCertificates other{dir.Path() / "other"};
    hvtest::ServiceProcess service{content.root, dir.Path() / "a.db", ours.ServeArgs()};
    ASSERT_EQ(service.Url().rfind("https://127.0.0.1:", 0), 0u) << service.Url();
    ASSERT_EQ(service.Admin({"add-user", "alice", "pw"}), 0);
    const std::string ca = ours.ca.string();
    const std::string discover = service.Url() + "/discover";
    EXPECT_EQ(hvtest::Http("GET", discover, {}, {}, ca).status, 200);
    EXPECT_EQ(hvtest::Http("GET", discover, {}, {}, other.ca.string()).status, 0);
    EXPECT_EQ(hvtest::Http("GET", discover).status, 0) << "no public authority vouches for it";
    EXPECT_EQ(hvtest::Http("GET", "http" + discover.substr(5)).status, 0) << "plain HTTP";

    const auto login = nlohmann::json::parse(
        hvtest::Http("POST", service.Url() + "/api/login",
                     R"({"user": "alice", "password": "pw", "player_version": "1,0,0,1"})", {}, ca)
            .body,
        nullptr, false);
    const auto described =
        nlohmann::json::parse(hvtest::Http("GET", service.Url() + "/api/packages/SPACE-D", {},
                                           {"X-Session: " + login.value("session", "")}, ca)
                                  .body,
                              nullptr, false);
    const std::string archive = described.value("archive_url", "");
    EXPECT_EQ(archive.rfind(service.Url() + "/packages/", 0), 0u) << archive;
    EXPECT_TRUE(hvtest::Http("GET", archive, {}, {}, ca).body ==
                hvtest::ReadFile(content.root / "packages" / "space-demo.tar"));

    std::string out;
    EXPECT_EQ(hvtest::RunProgram(
                  {HV_SERVICE_BIN, "serve", "--content", content.root.string(), "--db",
                   (dir.Path() / "a.db").string(), "--listen", "127.0.0.1:0", "--tls-cert-file",
                   other.ca.string(), "--tls-key-file", ours.key.string()},
                  &out),
              1)
        << "a key that does not go with the certificate";
    EXPECT_EQ(out.find("listening"), std::string::npos) << out;
}

// Many first requests for a package's description hash its archive once.
TEST(ServiceSafety, ConcurrentFirstRequestsHashTheArchiveOnce) {
    hvtest::TempDir dir;
    hvtest::TestContent content{dir.Path()};
    // Large enough that the requests overlap while it is hashed.
    hvtest::WriteFile(content.root / "packages" / content.archive, std::string(64 << 20, 'h'));
    hvtest::ServiceProcess service{content.root, dir.Path() / "a.db"};
    ASSERT_EQ(service.Admin({"add-user", "alice", "pw"}), 0);
    const std::string url = service.Url() + "/api/packages/SPACE";
    const std::string session = "X-Session: " + service.Session("alice", "pw");

    std::vector<hvtest::HttpReply> replies(8);
    {
        std::vector<std::jthread> requests;
        for (auto& reply : replies) {
            requests.emplace_back(
                [&reply, &url, &session] { reply = hvtest::Http("GET", url, {}, {session}); });
        }
    }
    const auto first = nlohmann::json::parse(replies[0].body, nullptr, false);
    for (const auto& reply : replies) {
        ASSERT_EQ(reply.status, 200) << reply.body;
        EXPECT_EQ(nlohmann::json::parse(reply.body)["sha256"], first["sha256"]);
    }
    EXPECT_EQ(Count(service.Log(), "hashed " + content.archive), 1u) << service.Log();
}

}  // namespace
