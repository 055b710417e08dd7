#include "ServiceHarness.h"

#include <gtest/gtest.h>

TEST(NginxParity, StaticFilesAreServedLikeNginxServesThem) {
    if (!hvtest::NginxProcess::Installed()) {
        GTEST_SKIP() << "nginx is not installed";
    }
    hvtest::TempDir dir;
    hvtest::TestContent content{dir.Path()};
    hvtest::ServiceProcess service{content.root, dir.Path() / "a.db"};
    hvtest::NginxProcess nginx{dir.Path() / "nginx", content.root};
    ASSERT_TRUE(nginx.Ready()) << "nginx did not start";

    // method, path, request header, the status nginx answers
    const std::string archive = hvtest::ServiceProcess::PackagePath(content.archive);
    const std::string expired = hvtest::ServiceProcess::PackagePath(content.archive, 1000);
    std::string altered = archive;
    altered[altered.find("md5=") + 4] ^= 1;
    const std::string art = "/art/Space%20Race.jpg";
    const std::tuple<const char*, std::string, std::string, long> cases[] = {
        {"GET", archive, "Range: bytes=4096-", 206},
        {"GET", archive, "Range: bytes=0-99", 206},
        {"GET", archive, "Range: bytes=10-99999999999", 206},
        {"HEAD", art, "", 200},
        {"GET", art, "", 200},
        {"GET", "/pages/announcements.htm", "", 200},
        {"GET", "/packages/" + content.archive, "", 403},
        {"GET", expired, "", 403},
        {"HEAD", altered, "", 403},
    };
    for (const auto& [method, path, header, status] : cases) {
        SCOPED_TRACE(method + path + header);
        const std::vector<std::string> headers =
            header.empty() ? std::vector<std::string>{} : std::vector<std::string>{header};
        auto ours = hvtest::Http(method, service.Url() + path, {}, headers);
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
