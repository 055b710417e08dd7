#include "ServiceFixture.h"

#include <gtest/gtest.h>

using NginxParity = hvtest::ServiceTest;

TEST_F(NginxParity, StaticFilesAreServedLikeNginxServesThem) {
    if (!hvtest::NginxProcess::Installed()) {
        GTEST_SKIP() << "nginx is not installed";
    }
    hvtest::NginxProcess nginx{m_dir.Path() / "nginx", m_content.root};
    ASSERT_TRUE(nginx.Ready()) << "nginx did not start";

    // method, path, request header, the status nginx answers
    const std::string archive = hvtest::ServiceProcess::PackagePath(m_content.archive);
    const std::string expired = hvtest::ServiceProcess::PackagePath(m_content.archive, 1000);
    std::string altered = archive;
    altered[altered.find("md5=") + 4] ^= 1;
    const std::string art = "/art/Space%20Race.jpg";
    const std::tuple<const char*, std::string, std::string, long> cases[] = {
        {"GET", archive, "Range: bytes=4096-", 206},
        {"GET", archive, "Range: bytes=10-99999999999", 206},
        {"HEAD", art, "", 200},
        {"GET", art, "", 200},
        {"GET", "/pages/announcements.htm", "", 200},
        {"GET", "/packages/" + m_content.archive, "", 403},
        {"GET", expired, "", 403},
        {"HEAD", altered, "", 403},
    };
    for (const auto& [method, path, header, status] : cases) {
        SCOPED_TRACE(method + path + header);
        const std::vector<std::string> headers =
            header.empty() ? std::vector<std::string>{} : std::vector<std::string>{header};
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
