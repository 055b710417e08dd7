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

    const std::string archive = "/packages/" + content.archive;
    for (const char* range : {"Range: bytes=4096-", "Range: bytes=0-99"}) {
        auto ours = hvtest::Http("GET", service.Url() + archive, {}, {range});
        auto theirs = hvtest::Http("GET", nginx.Url() + archive, {}, {range});
        EXPECT_EQ(theirs.status, 206) << range;
        EXPECT_EQ(ours.status, theirs.status) << range;
        EXPECT_EQ(ours.headers["content-range"], theirs.headers["content-range"]) << range;
        EXPECT_EQ(ours.headers["content-length"], theirs.headers["content-length"]) << range;
        EXPECT_EQ(ours.headers["last-modified"], theirs.headers["last-modified"]) << range;
        EXPECT_TRUE(ours.body == theirs.body) << range;
    }
    for (const char* method : {"HEAD", "GET"}) {
        const std::string art = "/art/Alpha%20Quest.jpg";
        auto ours = hvtest::Http(method, service.Url() + art);
        auto theirs = hvtest::Http(method, nginx.Url() + art);
        EXPECT_EQ(theirs.status, 200) << method;
        EXPECT_EQ(ours.status, theirs.status) << method;
        EXPECT_EQ(ours.headers["last-modified"], theirs.headers["last-modified"]) << method;
        EXPECT_EQ(ours.headers["content-length"], theirs.headers["content-length"]) << method;
        EXPECT_EQ(ours.headers["content-type"], theirs.headers["content-type"]) << method;
        EXPECT_TRUE(ours.body == theirs.body) << method;
    }
}
