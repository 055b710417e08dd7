#include "Content.h"
#include "ServiceHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>

namespace {

namespace fs = std::filesystem;
using hv::service::Game;
using hvtest::ReadFile;

// One generated folder for the whole suite: generating it takes a while. The
// service serving it is proven by the end-to-end session.
class DemoContent : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        m_dir = new hvtest::TempDir;
        m_generated =
            hvtest::RunProgram({HV_DEMOCONTENT_BIN, "--out", Root().string(), "--package-size",
                                std::to_string(kSizedBytes), "--sized-package", kSized,
                                "--game-binary", HV_DEMO_GAME_BIN}) == 0;
        if (m_generated) {
            m_games = hv::service::LoadGames(Root() / "catalogue.json");
        }
    }
    static void TearDownTestSuite() {
        delete m_dir;
        m_dir = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(m_generated); }
    static fs::path Root() { return m_dir->Path() / "content"; }

    // The one package of another size than the usual.
    static constexpr const char* kSized = "HV-STARFALL-RUN-DEMO";
    static constexpr long long kSizedBytes = 3'000'000;
    static constexpr long long kUsualBytes = 2 * 1024 * 1024;

    static inline hvtest::TempDir* m_dir = nullptr;
    static inline bool m_generated = false;
    static inline std::vector<Game> m_games;
};

TEST_F(DemoContent, CatalogueAndArtAreVariedEnoughToExerciseTheClient) {
    int full = 0;
    int missing = 0;
    std::size_t longest = 0;
    std::set<std::string> ratings, packages, icons;
    for (const auto& g : m_games) {
        ratings.insert(g.rating);
        EXPECT_TRUE(packages.insert(g.package).second) << "duplicate package " << g.package;
        const std::string icon = ReadFile(Root() / "art" / (g.title + ".jpg"));
        ASSERT_GT(icon.size(), 1000u) << g.title;
        EXPECT_EQ(icon.substr(0, 3), "\xFF\xD8\xFF") << g.title;
        icons.insert(icon);
        const auto desc = Root() / "art" / (g.title + ".txt");
        if (fs::exists(desc)) {
            longest = std::max<std::size_t>(longest, fs::file_size(desc));
        } else {
            ++missing;
        }
        if (!g.IsDemo()) {
            ++full;
            continue;
        }
        // Every demo is free and has exactly one full game.
        EXPECT_TRUE(g.IsFree()) << g.title;
        EXPECT_EQ(
            std::count_if(m_games.begin(), m_games.end(),
                          [&](const Game& o) { return !o.IsDemo() && o.pairKey == g.pairKey; }),
            1)
            << g.title;
    }
    EXPECT_GE(full, 24);
    EXPECT_GE(m_games.size() - static_cast<std::size_t>(full), 3u) << "demos";
    for (const char* r : {"E - Everyone", "EC- Early Childhood", "T - Teen", "M - Mature",
                          "AO - Adults Only", "RP - Rating Pending"}) {
        EXPECT_TRUE(ratings.count(r)) << r;
    }
    EXPECT_EQ(ratings.size(), 7u) << "the six known ratings and one unknown";
    EXPECT_EQ(icons.size(), m_games.size()) << "every icon differs";
    EXPECT_EQ(missing, 1) << "descriptions";
    EXPECT_GT(longest, 600u) << "some descriptions are long";
    EXPECT_TRUE(fs::is_regular_file(Root() / "upgrade" / "Install.sfe"));
}

// The client looks for each page by its address; the end-to-end tests by its
// heading. A plain web server must serve them as well as the service does.
TEST_F(DemoContent, PagesAreServedAsHtmlWithTheirHeadingsAndNothingFromElsewhere) {
    hvtest::ServiceProcess service{Root(), m_dir->Path() / "pages.db"};
    std::vector<std::string> servers = {service.Url()};
    std::unique_ptr<hvtest::NginxProcess> nginx;
    if (hvtest::NginxProcess::Installed()) {
        nginx = std::make_unique<hvtest::NginxProcess>(m_dir->Path() / "nginx", Root());
        ASSERT_TRUE(nginx->Ready());
        servers.push_back(nginx->Url());
    }
    const std::pair<const char*, const char*> pages[] = {
        {"announcements.htm", "Halvory Announcements"},
        {"whatsnew.htm", "Latest Halvory Updates"},
        {"terms.htm", "Terms of Use and Privacy"},
        {"troubleshootingtips.htm", "Halvory Troubleshooting Tips"},
        {"errorinfo.htm", "Halvory Error Help"},
    };
    for (const auto& server : servers) {
        for (const auto& [file, heading] : pages) {
            auto reply = hvtest::Http("GET", server + "/pages/" + file);
            SCOPED_TRACE(server + "/pages/" + file);
            EXPECT_EQ(reply.status, 200);
            EXPECT_EQ(reply.headers["content-type"], "text/html; charset=utf-8");
            EXPECT_NE(reply.body.find(std::string("<h1>") + heading + "</h1>"), std::string::npos);
            for (const char* outside : {"://", "<script", "<link", "@import", "url("}) {
                EXPECT_EQ(reply.body.find(outside), std::string::npos) << outside;
            }
        }
    }
    EXPECT_NE(ReadFile(Root() / "pages" / "announcements.htm").find(m_games.front().title),
              std::string::npos)
        << "announces the catalogue's games";
}

// The playable part (program and name file) comes first: it alone unpacks, as
// the engine has it before the transfer ends, and the game runs from it.
TEST_F(DemoContent, ArchivesPutThePlayablePartFirst) {
    // The requested size, unless the program alone is bigger (sanitizer builds).
    const auto program = static_cast<long long>(fs::file_size(HV_DEMO_GAME_BIN));
    for (const auto& g : m_games) {
        const auto file = Root() / "packages" / g.archive;
        const auto size = static_cast<long long>(fs::file_size(file));
        const long long expected = g.package == kSized ? kSizedBytes : kUsualBytes;
        if (program + 8192 < expected) {
            EXPECT_NEAR(static_cast<double>(size), static_cast<double>(expected), 2048.0)
                << g.archive;
        }
        EXPECT_LT(g.playableBytes, size) << g.archive;
        const auto install = m_dir->Path() / "install" / g.package;
        hvtest::WriteFile(install / "part.tar",
                          ReadFile(file).substr(0, static_cast<std::size_t>(g.playableBytes)) +
                              std::string(1024, '\0'));
        ASSERT_EQ(hvtest::RunProgram({"/usr/bin/tar", "-xf", (install / "part.tar").string(), "-C",
                                      install.string()}),
                  0)
            << g.archive;
        EXPECT_EQ(ReadFile(install / "game.txt"), g.title + "\n");
        EXPECT_TRUE(fs::is_regular_file(install / g.program)) << g.archive;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const auto first =
        m_dir->Path() / "install" / m_games.front().package / m_games.front().program;
    EXPECT_EQ(hvtest::RunProgram({first.string(), "--close-after", "300"}), 0);
}

}  // namespace
