#include "app/Discovery.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "CannedServer.h"

namespace {

TEST(Discovery, FetchNeedsALengthAndExactlyThatManyBytes) {
    const std::string full(hv::kMaxReplyBytes, 'v');
    const struct {
        const char* what;
        std::string reply;
        int result;
        std::string text;
    } rows[] = {
        {"sized", Sized("<RV>7</RV>"), 1, "<RV>7</RV>"},
        {"only the stated bytes", Reply("Content-Length: 4\r\n", "abcdefgh"), 1, "abcd"},
        {"sized empty", Sized(""), 1, ""},
        {"at the limit", Sized(full), 1, full},
        {"over the limit", Sized(full + "v"), 0, "kept"},
        {"no length", "HTTP/1.0 200 OK\r\n\r\nabcd", 0, "kept"},
        {"no length, empty", "HTTP/1.0 200 OK\r\n\r\n", 0, "kept"},
        {"chunked", Reply("Transfer-Encoding: chunked\r\n", "4\r\nabcd\r\n0\r\n\r\n"), 0, "kept"},
        {"short body", Reply("Content-Length: 20\r\n", "abcd"), 0, "kept"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        CannedServer server(row.reply);
        std::string text = "kept";
        EXPECT_EQ(hv::FetchUrlText(server.Url(), &text), row.result);
        // Compared whole but not printed: a row holds 64 KiB.
        EXPECT_TRUE(text == row.text) << text.size() << " bytes";
    }
}

// A service that takes the request and never answers costs a few seconds.
TEST(Discovery, FetchGivesUpOnASilentService) {
    CannedServer silent("", true);
    std::string text;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(hv::FetchUrlText(silent.Url(), &text), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST(Discovery, ReplyTags) {
    const struct {
        const char* body;
        const char* version;  // expected after reading, from "old" and "old://url"
        const char* url;
    } rows[] = {
        {"x<RV>5000</RV><RURL>http://up.test/p.sfe</RURL>", "5000", "http://up.test/p.sfe"},
        {"<RV>5000</RV><RURL>http://up.test/p.sfe</RURL>", "old", "old://url"},
        {"x<RV></RV><RURL>u</RURL>", "", "u"},
        {"x<RV>5000</RV><RURL>http://up.test/p.sfe", "5000", "old://url"},
        {"x<RV>1</RV><RV>2</RV><RURL>a</RURL><RURL>b</RURL>", "1", "a"},
        {"x<rv>5000</rv><RURL>a</RURL>", "old", "old://url"},
        {"x<RV>5000</rv><RURL>a</RURL>", "old", "old://url"},
        {"x<RV>5000</RV><rurl>a</rurl>", "5000", "old://url"},
        {"x</RV><RV>5000<RURL>a</RURL>", "old", "old://url"},
        {"<RURL>a</RURL><RV>5</RV>", "5", "old://url"},
        {"x<RV>5</RV></RURL>a<RURL>", "5", "old://url"},
        {"x<RV>5</RV><RURL></RURL>", "5", ""},
        {"page\n<RV>12</RV>\n<RURL>https://up.test/a b</RURL>\n", "12", "https://up.test/a b"},
        {"", "old", "old://url"},
    };
    for (const auto& row : rows) {
        std::string version = "old";
        std::string url = "old://url";
        hv::ReadDiscoveryReply(row.body, &version, &url);
        EXPECT_EQ(version, row.version) << row.body;
        EXPECT_EQ(url, row.url) << row.body;
    }
}

TEST(Discovery, AsksTheConfiguredAddressAsTheBrowserDoes) {
    CannedServer server(Sized("_<RV>5000</RV><RURL>http://up.test/p.sfe</RURL>"));
    std::string version;
    std::string url;
    EXPECT_EQ(hv::DiscoverServers(server.Url("/TeSMS/getslaveips.asp"), &version, &url), 1);
    EXPECT_EQ(version, "5000");
    EXPECT_EQ(url, "http://up.test/p.sfe");
    const std::string request = server.Request();
    EXPECT_EQ(request.rfind("GET /TeSMS/getslaveips.asp?mce=1 HTTP/1.1\r\n", 0), 0u) << request;
    EXPECT_NE(request.find("\r\nUser-Agent: TessalyBrowser\r\n"), std::string::npos) << request;
    // Without a configured address, the built-in one, over https.
    const std::string builtIn = hv::DiscoveryAddress("");
    EXPECT_TRUE(builtIn.starts_with("https://") && builtIn.size() > 40) << builtIn;
    EXPECT_TRUE(builtIn.ends_with("/TeSMS/getslaveips.asp?mce=1")) << builtIn;

    // No answer, or one without a length: the values stay.
    CannedServer unsized("HTTP/1.0 200 OK\r\n\r\n_<RV>6000</RV><RURL>a</RURL>");
    for (const std::string& address : {std::string("http://127.0.0.1:1/ips"), unsized.Url()}) {
        EXPECT_EQ(hv::DiscoverServers(address, &version, &url), -1) << address;
        EXPECT_EQ(version, "5000");
        EXPECT_EQ(url, "http://up.test/p.sfe");
    }
}

}  // namespace
