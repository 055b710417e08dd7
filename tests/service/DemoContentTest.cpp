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
        m_dir = std::make_unique<hvtest::TempDir>();
        m_generated =
            hvtest::RunProgram({HV_DEMOCONTENT_BIN, "--out", Root().string(), "--package-size",
                                std::to_string(kSizedBytes), "--sized-package", kSized,
                                "--game-binary", HV_DEMO_GAME_BIN}) == 0;
        if (m_generated) {
            m_games = hv::service::LoadGames(Root() / "catalogue.json");
        }
    }
    void SetUp() override { ASSERT_TRUE(m_generated); }
    static fs::path Root() { return m_dir->Path() / "content"; }

    // The one package of another size than the usual.
    static constexpr const char* kSized = "HV-STARFALL-RUN-DEMO";
    static constexpr long long kSizedBytes = 3'000'000;
    static constexpr long long kUsualBytes = 2 * 1024 * 1024;

    static inline std::unique_ptr<hvtest::TempDir> m_dir;
    static inline bool m_generated = false;
    static inline std::vector<Game> m_games;
};

TEST_F(DemoContent, CatalogueAndArtAreVariedEnoughToExerciseTheClient) {
    std::size_t full = 0, missing = 0, longest = 0;
    std::set<std::string> ratings, packages, icons;
    for (const auto& g : m_games) {
        SCOPED_TRACE(g.title);
        ratings.insert(g.rating);
        EXPECT_TRUE(packages.insert(g.package).second) << "duplicate package " << g.package;
        const std::string icon = ReadFile(Root() / "art" / (g.title + ".jpg"));
        ASSERT_GT(icon.size(), 1000u);
        EXPECT_EQ(icon.substr(0, 3), "\xFF\xD8\xFF");
        icons.insert(icon);
        const auto desc = Root() / "art" / (g.title + ".txt");
        missing += fs::exists(desc) ? 0 : 1;
        longest = std::max<std::size_t>(longest, fs::exists(desc) ? fs::file_size(desc) : 0);
        full += g.IsDemo() ? 0 : 1;
        if (g.IsDemo()) {
            // Every demo is free and has exactly one full game.
            EXPECT_TRUE(g.IsFree());
            EXPECT_EQ(
                std::count_if(m_games.begin(), m_games.end(),
                              [&](const Game& o) { return !o.IsDemo() && o.pairKey == g.pairKey; }),
                1);
        }
    }
    EXPECT_GE(full, 24u);
    EXPECT_GE(m_games.size() - full, 3u) << "demos";
    EXPECT_EQ(ratings, (std::set<std::string>{"E - Everyone", "EC- Early Childhood", "T - Teen",
                                              "M - Mature", "AO - Adults Only",
                                              "RP - Rating Pending", "NR - Not Rated"}))
        << "the six known ratings and one unknown";
    EXPECT_EQ(icons.size(), m_games.size()) << "every icon differs";
    EXPECT_EQ(missing, 1u) << "descriptions";
    EXPECT_GT(longest, 600u) << "some descriptions are long";
    EXPECT_TRUE(fs::is_regular_file(Root() / "upgrade" / "Install.sfe"));
}

// The client looks for each page by its address; the end-to-end tests by its
// heading. Served as they are (NginxParity), they need nothing from elsewhere.
TEST_F(DemoContent, PagesCarryTheirHeadingsAndNothingFromElsewhere) {
    const std::pair<const char*, const char*> pages[] = {
        {"announcements.htm", "Halvory Announcements"},
        {"whatsnew.htm", "Latest Halvory Updates"},
        {"terms.htm", "Terms of Use and Privacy"},
        {"troubleshootingtips.htm", "Halvory Troubleshooting Tips"},
        {"errorinfo.htm", "Halvory Error Help"},
    };
    for (const auto& [file, heading] : pages) {
        SCOPED_TRACE(file);
        const std::string page = ReadFile(Root() / "pages" / file);
        EXPECT_NE(page.find(std::string("<h1>") + heading + "</h1>"), std::string::npos);
        for (const char* outside : {"://", "<script", "<link", "@import", "url("}) {
            EXPECT_EQ(page.find(outside), std::string::npos) << outside;
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
        SCOPED_TRACE(g.archive);
        const auto file = Root() / "packages" / g.archive;
        const auto size = static_cast<long long>(fs::file_size(file));
        const long long expected = g.package == kSized ? kSizedBytes : kUsualBytes;
        if (program + 8192 < expected) {
            EXPECT_NEAR(static_cast<double>(size), static_cast<double>(expected), 2048.0);
        }
        EXPECT_LT(g.playableBytes, size);
        const auto install = m_dir->Path() / "install" / g.package;
        hvtest::WriteFile(install / "part.tar",
                          ReadFile(file).substr(0, static_cast<std::size_t>(g.playableBytes)) +
                              std::string(1024, '\0'));
        ASSERT_EQ(hvtest::RunProgram({"/usr/bin/tar", "-xf", (install / "part.tar").string(), "-C",
                                      install.string()}),
                  0);
        EXPECT_EQ(ReadFile(install / "game.txt"), g.title + "\n");
        EXPECT_TRUE(fs::is_regular_file(install / g.program));
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const auto first =
        m_dir->Path() / "install" / m_games.front().package / m_games.front().program;
    EXPECT_EQ(hvtest::RunProgram({first.string(), "--close-after", "300"}), 0);
}

}  // namespace
