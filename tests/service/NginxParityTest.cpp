#include "ServiceHarness.h"

#include <gtest/gtest.h>

TEST(NginxParity, StaticFilesAreServedLikeNginxServesThem) {
    if (!hvtest::NginxProcess::installed()) {
        GTEST_SKIP() << "nginx is not installed";
    }
    hvtest::TempDir dir;
    hvtest::TestContent content{dir.path()};
    hvtest::ServiceProcess service{content.root, dir.path() / "a.db"};
    hvtest::NginxProcess nginx{dir.path() / "nginx", content.root};
    ASSERT_TRUE(nginx.ready()) << "nginx did not start";

    const std::string archive = "/packages/" + content.archive;
    for (const char* range : {"Range: bytes=4096-", "Range: bytes=0-99"}) {
        auto ours = hvtest::http("GET", service.url() + archive, {}, {range});
        auto theirs = hvtest::http("GET", nginx.url() + archive, {}, {range});
        EXPECT_EQ(theirs.status, 206) << range;
        EXPECT_EQ(ours.status, theirs.status) << range;
        EXPECT_EQ(ours.headers["content-range"], theirs.headers["content-range"]) << range;
        EXPECT_EQ(ours.headers["content-length"], theirs.headers["content-length"]) << range;
        EXPECT_EQ(ours.headers["last-modified"], theirs.headers["last-modified"]) << range;
        EXPECT_TRUE(ours.body == theirs.body) << range;
    }
    for (const char* method : {"HEAD", "GET"}) {
        const std::string art = "/art/" + hvtest::urlEncode("Alpha Quest") + ".jpg";
        auto ours = hvtest::http(method, service.url() + art);
        auto theirs = hvtest::http(method, nginx.url() + art);
        EXPECT_EQ(theirs.status, 200) << method;
        EXPECT_EQ(ours.status, theirs.status) << method;
        EXPECT_EQ(ours.headers["last-modified"], theirs.headers["last-modified"]) << method;
        EXPECT_EQ(ours.headers["content-length"], theirs.headers["content-length"]) << method;
        EXPECT_EQ(ours.headers["content-type"], theirs.headers["content-type"]) << method;
        EXPECT_TRUE(ours.body == theirs.body) << method;
    }
}
