#include "Content.h"
#include "ServiceFixture.h"
#include "trust/PackageManifest.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>

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
using SignedManifests = hvtest::ContentFolder;

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
TEST_F(StaticContent, RangesAnswerPartialContentOfTheFileAsTampered) {
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

    // The tampering fault inverts one byte of the file, wherever the answer starts.
    ASSERT_EQ(m_service.Faults(R"({"flip_byte_at": 70})"), 200);
    std::string flipped = whole;
    flipped[70] = static_cast<char>(~flipped[70]);
    EXPECT_TRUE(Http("GET", url).body == flipped);
    EXPECT_EQ(Http("GET", url, {}, {"Range: bytes=60-79"}).body, flipped.substr(60, 20));
    EXPECT_EQ(Http("GET", url, {}, {"Range: bytes=71-80"}).body, whole.substr(71, 10));
}

TEST_F(StaticContent, PathsNeverLeaveTheContentFolder) {
    fs::create_symlink(m_dir.Path() / m_content.secretOutside, m_content.root / "art" / "evil.jpg");
    for (const char* path :
         {"/art/../../secret.txt", "/art/..%2F..%2Fsecret.txt", "/art/%2e%2e/%2e%2e/secret.txt",
          "/pages/..%5C..%5Csecret.txt", "/art/evil.jpg", "/packages/../catalogue.json",
          "/catalogue.json", "/art/", "/art/Space%20Race.jpg%00.txt"}) {
        SCOPED_TRACE(path);
        auto reply = Http("GET", m_service.Url() + path);
        EXPECT_NE(reply.status, 200);
        EXPECT_EQ(reply.body.find("TOP-SECRET"), std::string::npos);
        EXPECT_EQ(reply.body.find("SPACE-D"), std::string::npos);
    }
}

TEST_F(StaticContent, FilesAreServedLikeNginxServesThem) {
    if (!hvtest::NginxProcess::Installed()) {
        GTEST_SKIP() << "nginx is not installed";
    }
    hvtest::NginxProcess nginx{m_dir.Path() / "nginx", m_content.root};
    ASSERT_TRUE(nginx.Ready()) << "nginx did not start";

    // method, path, request headers, the status nginx answers
    const std::string archive = hvtest::ServiceProcess::PackagePath(m_content.archive);
    const std::string expired = hvtest::ServiceProcess::PackagePath(m_content.archive, 1000);
    std::string altered = archive;
    altered[altered.find("md5=") + 4] ^= 1;
    const std::string art = "/art/Space%20Race.jpg";
    const std::tuple<const char*, std::string, std::vector<std::string>, long> cases[] = {
        {"GET", archive, {"Range: bytes=4096-"}, 206},
        {"GET", archive, {"Range: bytes=10-99999999999"}, 206},
        {"HEAD", art, {}, 200},
        {"GET", art, {}, 200},
        {"GET", "/pages/announcements.htm", {}, 200},
        {"GET", "/packages/" + m_content.archive, {}, 403},
        {"GET", expired, {}, 403},
        {"HEAD", altered, {}, 403},
    };
    for (const auto& [method, path, headers, status] : cases) {
        SCOPED_TRACE(method + path);
        auto ours = hvtest::Http(method, m_service.Url() + path, {}, headers);
        auto theirs = hvtest::Http(method, nginx.Url() + path, {}, headers);
        EXPECT_EQ(theirs.status, status);
        EXPECT_EQ(ours.status, theirs.status);
        if (status >= 400) {
            continue;  // the refusals' bodies differ
        }
        for (const char* name :
             {"content-range", "content-length", "last-modified", "content-type"}) {
            EXPECT_EQ(ours.headers[name], theirs.headers[name]) << name;
        }
        EXPECT_TRUE(ours.body == theirs.body);
    }
}

// The signing key comes from the admin command, only its owner may read it,
// and with it every package and the upgrade have a manifest that verifies
// with its public half and describes the file served.
TEST_F(SignedManifests, ServedForPackagesWithTheServicesKey) {
    const fs::path key = m_dir.Path() / "signing.pem", pub = m_dir.Path() / "signing.pub";
    const std::vector<std::string> newKey = {HV_SERVICE_BIN, "admin", "new-signing-key",
                                             key.string(), pub.string()};
    ASSERT_EQ(hvtest::RunProgram(newKey), 0);
    EXPECT_EQ(fs::status(key).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    const std::string publicPem = ReadFile(pub);
    EXPECT_NE(hvtest::RunProgram(newKey), 0) << "a key is never replaced";
    EXPECT_EQ(ReadFile(pub), publicPem);

    hvtest::ServiceProcess service(m_content.root, m_dir.Path() / "a.db",
                                   {"--signing-key-file", key.string()});
    ASSERT_FALSE(service.Url().empty());
    for (const std::string& file :
         {std::string("upgrade/Install.sfe"), "packages/" + m_content.archive}) {
        SCOPED_TRACE(file);
        const auto reply = Http("GET", service.Url() + "/" + file + ".manifest");
        ASSERT_EQ(reply.status, 200);
        std::string why;
        const auto manifest = hv::OpenManifest(reply.body, publicPem, &why);
        ASSERT_TRUE(manifest) << why;
        EXPECT_EQ(manifest->package, fs::path(file).filename().string());
        EXPECT_TRUE(hv::FileMatches(*manifest, (m_content.root / file).string()));
    }
    EXPECT_EQ(Http("GET", service.Url() + "/packages/none.tar.manifest").status, 404);
    EXPECT_EQ(Http("GET", service.Url() + "/art/Space%20Race.jpg.manifest").status, 404);

    hvtest::ServiceProcess plain(m_content.root, m_dir.Path() / "b.db",
                                 {hvtest::ServiceProcess::kNoSigningKey});
    EXPECT_EQ(Http("GET", plain.Url() + "/upgrade/Install.sfe.manifest").body,
              R"({"error":"no_manifest"})");
    fs::permissions(key, fs::perms::group_read, fs::perm_options::add);
    EXPECT_EQ(hvtest::RunProgram({HV_SERVICE_BIN, "serve", "--content", m_content.root.string(),
                                  "--db", (m_dir.Path() / "c.db").string(), "--signing-key-file",
                                  key.string(), "--listen", "127.0.0.1:0"}),
              2)
        << "a key others may read is refused";
}

}  // namespace
