#include "Content.h"
#include "ServiceFixture.h"
#include "trust/PackageManifest.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <future>
#include <thread>

namespace {

namespace fs = std::filesystem;
using hvtest::Http;
using hvtest::ReadFile;

std::string LastModifiedOf(const fs::path& file) {
    struct stat st {};
    stat(file.c_str(), &st);
    return hv::service::HttpDate(st.st_mtime);
}

using StaticContent = hvtest::ServiceTest;

TEST_F(StaticContent, DiscoveryNamesVersionAndUpgrade) {
    auto reply = Http("GET", m_service.Url() + "/discover?mce=1");
    ASSERT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body, "#<RV>1001</RV><RURL>" + m_service.Url() + "/upgrade/Install.sfe</RURL>");
    EXPECT_EQ(reply.headers["content-length"], std::to_string(reply.body.size()));
    ASSERT_EQ(m_service.Admin({"set-required-version", "1002"}), 0);
    fs::remove(m_content.root / "upgrade" / "Install.sfe");
    EXPECT_EQ(Http("GET", m_service.Url() + "/discover").body, "#<RV>1002</RV><RURL></RURL>");
}

TEST_F(StaticContent, FilesCarryTypeLengthAndLastModified) {
    // address, file, type
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"/art/Space%20Race.jpg", "art/Space Race.jpg", "image/jpeg"},
        {"/art/Space%20Race.txt", "art/Space Race.txt", "text/plain"},
        {"/pages/announcements.htm", "pages/announcements.htm", "text/html; charset=utf-8"},
        {"/upgrade/Install.sfe", "upgrade/Install.sfe", "application/octet-stream"},
    };
    for (const auto& [path, name, type] : cases) {
        SCOPED_TRACE(path);
        const fs::path file = m_content.root / name;
        const std::string url = m_service.Url() + path;
        auto head = Http("HEAD", url);
        EXPECT_EQ(head.status, 200);
        EXPECT_TRUE(head.body.empty());
        EXPECT_EQ(head.headers["content-type"], type);
        EXPECT_EQ(head.headers["content-length"], std::to_string(fs::file_size(file)));
        EXPECT_EQ(head.headers["last-modified"], LastModifiedOf(file));
        EXPECT_EQ(Http("GET", url).body, ReadFile(file));

        // A changed file announces its new time.
        fs::last_write_time(file, fs::last_write_time(file) - std::chrono::hours(30));
        EXPECT_EQ(Http("HEAD", url).headers["last-modified"], LastModifiedOf(file));
    }
    EXPECT_EQ(Http("HEAD", m_service.Url() + "/art/None.jpg").status, 404);
}

// Requests for many, overlapping or far too large ranges are cut to one part
// or answered whole, never sent piece by piece.
TEST_F(StaticContent, RangesAnswerPartialContent) {
    const std::string url =
        m_service.Url() + hvtest::ServiceProcess::PackagePath(m_content.archive);
    const std::string whole = ReadFile(m_content.root / "packages" / m_content.archive);
    const std::string size = std::to_string(whole.size());
    const std::string last = std::to_string(whole.size() - 1);
    std::string many = "0-99";
    for (int i = 1; i < 700; ++i) {
        many += ",0-99";
    }
    // Range, status, Content-Range, body
    const std::tuple<std::string, long, std::string, std::string> cases[] = {
        {"1000-", 206, "bytes 1000-" + last + "/" + size, whole.substr(1000)},
        {"10-19", 206, "bytes 10-19/" + size, whole.substr(10, 10)},
        {"-100", 206, "bytes " + std::to_string(whole.size() - 100) + "-" + last + "/" + size,
         whole.substr(whole.size() - 100)},
        {last + "-", 206, "bytes " + last + "-" + last + "/" + size,
         whole.substr(whole.size() - 1)},
        {"10-99999999999", 206, "bytes 10-" + last + "/" + size, whole.substr(10)},
        {many, 206, "bytes 0-99/" + size, whole.substr(0, 100)},
        {"50-99, 0-59, 100-109", 206, "bytes 0-109/" + size, whole.substr(0, 110)},
        {"0-0, 20-29", 200, "", whole},
        {size + "-", 416, "bytes */" + size, ""},
        {size + "-, " + size + "5-" + size + "9", 416, "bytes */" + size, ""},
        {"", 200, "", whole},
    };
    for (const auto& [range, status, contentRange, body] : cases) {
        SCOPED_TRACE(range.substr(0, 40));
        auto reply =
            range.empty() ? Http("GET", url) : Http("GET", url, {}, {"Range: bytes=" + range});
        EXPECT_EQ(reply.status, status);
        EXPECT_EQ(reply.headers["content-range"], contentRange);
        EXPECT_TRUE(reply.body == body);
        EXPECT_EQ(reply.headers["accept-ranges"], "bytes");
        EXPECT_FALSE(reply.headers["etag"].empty());
    }
}

TEST_F(StaticContent, PathsNeverLeaveTheContentFolder) {
    fs::create_symlink(m_dir.Path() / m_content.secretOutside, m_content.root / "art" / "evil.jpg");
    const char* attempts[] = {
        "/art/../../secret.txt",
        "/art/..%2F..%2Fsecret.txt",
        "/art/%2e%2e/%2e%2e/secret.txt",
        "/pages/..%5C..%5Csecret.txt",
        "/art/evil.jpg",
        "/packages/../catalogue.json",
        "/catalogue.json",
        "/art/",
        "/art/Space%20Race.jpg%00.txt",
    };
    for (const char* path : attempts) {
        auto reply = Http("GET", m_service.Url() + path);
        EXPECT_NE(reply.status, 200) << path;
        EXPECT_EQ(reply.body.find("TOP-SECRET"), std::string::npos) << path;
        EXPECT_EQ(reply.body.find("SPACE-D"), std::string::npos) << path;
    }
}

// The signing key comes from the admin command, only its owner may read it,
// and with it every package and the upgrade have a manifest that verifies
// with its public half and describes the file served.
TEST(SignedManifests, ServedForPackagesWithTheServicesKey) {
    hvtest::TempDir dir;
    hvtest::TestContent content{dir.Path()};
    const fs::path key = dir.Path() / "signing.pem";
    const fs::path pub = dir.Path() / "signing.pub";
    const auto newKey = [&] {
        return hvtest::RunProgram(
            {HV_SERVICE_BIN, "admin", "new-signing-key", key.string(), pub.string()});
    };
    ASSERT_EQ(newKey(), 0);
    EXPECT_EQ(fs::status(key).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    const std::string publicPem = ReadFile(pub);
    EXPECT_NE(newKey(), 0) << "a key is never replaced";
    EXPECT_EQ(ReadFile(pub), publicPem);

    fs::permissions(key, fs::perms::group_read, fs::perm_options::add);
    EXPECT_EQ(hvtest::RunProgram({HV_SERVICE_BIN, "serve", "--content", content.root.string(),
                                  "--db", (dir.Path() / "a.db").string(), "--signing-key-file",
                                  key.string(), "--listen", "127.0.0.1:0"}),
              2)
        << "a key others may read is refused";
    fs::permissions(key, fs::perms::group_read, fs::perm_options::remove);

    hvtest::ServiceProcess service(content.root, dir.Path() / "a.db",
                                   {"--signing-key-file", key.string()});
    ASSERT_FALSE(service.Url().empty());
    for (const std::string& file :
         {std::string("upgrade/Install.sfe"), "packages/" + content.archive}) {
        SCOPED_TRACE(file);
        const auto reply = Http("GET", service.Url() + "/" + file + ".manifest");
        ASSERT_EQ(reply.status, 200);
        std::string why;
        const auto manifest = hv::OpenManifest(reply.body, publicPem, &why);
        ASSERT_TRUE(manifest) << why;
        EXPECT_EQ(manifest->package, fs::path(file).filename().string());
        EXPECT_TRUE(hv::FileMatches(*manifest, (content.root / file).string()));
    }
    EXPECT_EQ(Http("GET", service.Url() + "/packages/none.tar.manifest").status, 404);
    EXPECT_EQ(Http("GET", service.Url() + "/art/Space%20Race.jpg.manifest").status, 404);

    hvtest::ServiceProcess plain(content.root, dir.Path() / "b.db",
                                 {hvtest::ServiceProcess::kNoSigningKey});
    ASSERT_FALSE(plain.Url().empty());
    EXPECT_EQ(Http("GET", plain.Url() + "/upgrade/Install.sfe.manifest").body,
              R"({"error":"no_manifest"})");
}

// The tampering fault inverts one byte of the file, wherever the answer starts.
TEST_F(StaticContent, FlippedByteIsTheOnlyChange) {
    const std::string url =
        m_service.Url() + hvtest::ServiceProcess::PackagePath(m_content.archive);
    const std::string original = ReadFile(m_content.root / "packages" / m_content.archive);
    ASSERT_GT(original.size(), 100u);
    ASSERT_EQ(m_service.Faults(R"({"flip_byte_at": 70})"), 200);
    std::string expected = original;
    expected[70] = static_cast<char>(~expected[70]);
    EXPECT_TRUE(Http("GET", url).body == expected);
    EXPECT_EQ(Http("GET", url, {}, {"Range: bytes=60-79"}).body, expected.substr(60, 20));
    EXPECT_EQ(Http("GET", url, {}, {"Range: bytes=71-80"}).body, original.substr(71, 10));
}

TEST(ServiceCommandLine, SignalsStopItAndBadArgumentsAreRefused) {
    hvtest::TempDir dir;
    hvtest::TestContent content{dir.Path()};
    const std::string db = (dir.Path() / "a.db").string();
    ASSERT_EQ(hvtest::RunProgram({HV_SERVICE_BIN, "admin", "--db", db, "add-user", "alice", "pw"}),
              0);
    for (int signal : {SIGTERM, SIGINT}) {
        hvtest::ServiceProcess service{content.root, db, {"--fail-next", "2"}};
        const std::string archive =
            service.Url() + hvtest::ServiceProcess::PackagePath(content.archive);
        EXPECT_EQ(Http("GET", service.Url() + "/discover").status, 503);
        EXPECT_EQ(Http("GET", archive).status, 503);
        EXPECT_EQ(Http("GET", archive).status, 200);

        // A long poll in progress must not hold the service up.
        const auto session = service.Session("alice", "pw");
        ASSERT_FALSE(session.empty());
        auto poll = std::async(std::launch::async, [&] {
            return Http("GET", service.Url() + "/api/events?wait=60", {},
                        {"X-Session: " + session});
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(service.Stop(signal, 5000), 0) << signal;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4)) << signal;
        poll.get();
    }
    EXPECT_EQ(hvtest::RunProgram({HV_SERVICE_BIN, "serve", "--content"}), 2);
    EXPECT_EQ(hvtest::RunProgram({HV_SERVICE_BIN, "admin", "--db", db, "suspend", "nobody"}), 1);
    EXPECT_EQ(hvtest::RunProgram({HV_SERVICE_BIN, "bogus"}), 2);
}

}  // namespace
