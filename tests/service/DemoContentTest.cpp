#include "Content.h"
#include "Crypto.h"
#include "ServiceHarness.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using hv::service::Game;

std::string ReadFile(const fs::path& file, std::size_t limit = std::string::npos) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str().substr(0, limit);
}

struct TarEntry {
    std::string name;
    long long end;  // offset just past its padded data
};

// Walks the ustar headers of an archive.
std::vector<TarEntry> TarEntries(const std::string& data) {
    std::vector<TarEntry> entries;
    std::size_t pos = 0;
    while (pos + 512 <= data.size() && data[pos] != '\0') {
        std::string name(data.c_str() + pos, strnlen(data.c_str() + pos, 100));
        std::string prefix(data.c_str() + pos + 345, strnlen(data.c_str() + pos + 345, 155));
        long long size = std::strtoll(data.substr(pos + 124, 12).c_str(), nullptr, 8);
        pos += 512 + static_cast<std::size_t>((size + 511) / 512 * 512);
        entries.push_back(
            {prefix.empty() ? name : prefix + "/" + name, static_cast<long long>(pos)});
    }
    return entries;
}

class DemoContent : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir = new hvtest::TempDir;
        std::string out;
        generated =
            hvtest::RunProgram({HV_DEMOCONTENT_BIN, "--out", Root().string(), "--package-size",
                                "1500000", "--game-binary", HV_DEMO_GAME_BIN},
                               &out) == 0;
        if (generated) {
            games = hv::service::LoadGames(Root() / "catalogue.json");
        }
    }
    static void TearDownTestSuite() {
        delete dir;
        dir = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(generated); }
    static fs::path Root() { return dir->Path() / "content"; }

    static inline hvtest::TempDir* dir = nullptr;
    static inline bool generated = false;
    static inline std::vector<Game> games;
};

TEST_F(DemoContent, CatalogueIsVariedEnoughToExerciseTheClient) {
    int full = 0;
    std::set<std::string> categories, ratings, developers, publishers, packages;
    for (const auto& g : games) {
        full += g.IsDemo() ? 0 : 1;
        std::stringstream cats(g.categories);
        for (std::string c; std::getline(cats, c, ',');) {
            categories.insert(c);
        }
        ratings.insert(g.rating);
        developers.insert(g.developer);
        publishers.insert(g.publisher);
        EXPECT_TRUE(packages.insert(g.package).second) << "duplicate package " << g.package;
    }
    EXPECT_GE(full, 24);
    EXPECT_GE(categories.size(), 6u);
    for (const char* r : {"E - Everyone", "EC- Early Childhood", "T - Teen", "M - Mature",
                          "AO - Adults Only", "RP - Rating Pending"}) {
        EXPECT_TRUE(ratings.count(r)) << r;
    }
    EXPECT_EQ(ratings.size(), 7u) << "the six known ratings and one unknown";
    EXPECT_GE(developers.size(), 3u);
    EXPECT_GE(publishers.size(), 3u);
}

TEST_F(DemoContent, DemosArePairedFreeAndHaveAFullGame) {
    int demos = 0;
    for (const auto& demo : games) {
        if (!demo.IsDemo()) {
            continue;
        }
        ++demos;
        EXPECT_TRUE(demo.IsFree());
        int partners = 0;
        for (const auto& g : games) {
            partners += !g.IsDemo() && g.pairKey == demo.pairKey ? 1 : 0;
        }
        EXPECT_EQ(partners, 1) << demo.title;
    }
    EXPECT_GE(demos, 3);
}

TEST_F(DemoContent, ArtIsDistinctJpegAndOneDescriptionIsMissing) {
    std::set<std::string> icons;
    int missing = 0;
    std::size_t longest = 0;
    for (const auto& g : games) {
        std::string icon = ReadFile(Root() / "art" / (g.title + ".jpg"));
        ASSERT_GT(icon.size(), 1000u) << g.title;
        EXPECT_EQ(icon.substr(0, 3), "\xFF\xD8\xFF") << g.title;
        icons.insert(icon);
        auto desc = Root() / "art" / (g.title + ".txt");
        if (fs::exists(desc)) {
            longest = std::max<std::size_t>(longest, fs::file_size(desc));
        } else {
            ++missing;
        }
    }
    EXPECT_EQ(icons.size(), games.size()) << "every icon differs";
    EXPECT_EQ(missing, 1);
    EXPECT_GT(longest, 600u) << "some descriptions are long";
    for (const char* page : {"announcements.htm", "whatsnew.htm", "terms.htm",
                             "troubleshootingtips.htm", "account.htm"}) {
        EXPECT_NE(ReadFile(Root() / "pages" / page).find("<html>"), std::string::npos) << page;
    }
    EXPECT_TRUE(fs::is_regular_file(Root() / "upgrade" / "Install.sfe"));
}

TEST_F(DemoContent, ArchivesPutThePlayablePartFirst) {
    for (const auto& g : games) {
        auto file = Root() / "packages" / g.archive;
        ASSERT_TRUE(fs::is_regular_file(file)) << g.archive;
        auto size = static_cast<long long>(fs::file_size(file));
        // The requested size, unless the program alone is bigger (sanitizer builds).
        auto program = static_cast<long long>(fs::file_size(HV_DEMO_GAME_BIN));
        if (program + 8192 < 1500000) {
            EXPECT_NEAR(static_cast<double>(size), 1500000.0, 2048.0) << g.archive;
        } else {
            EXPECT_GT(size, program) << g.archive;
        }
        auto entries = TarEntries(ReadFile(file));
        ASSERT_GE(entries.size(), 2u);
        EXPECT_EQ(entries[0].name, g.program);
        EXPECT_EQ(entries[1].name, "game.txt");
        EXPECT_EQ(entries[1].end, g.playableBytes) << "program and name fit the playable part";
        EXPECT_LT(g.playableBytes, size);
    }
}

TEST_F(DemoContent, InstalledGameStartsAndClosesByItself) {
    const Game& g = games.front();
    auto install = dir->Path() / "install";
    fs::create_directories(install);
    // Only the playable part, as the engine has it before the transfer ends.
    auto archive = Root() / "packages" / g.archive;
    std::string head = ReadFile(archive, static_cast<std::size_t>(g.playableBytes));
    {
        std::ofstream out(install / "part.tar", std::ios::binary);
        out << head << std::string(1024, '\0');
    }
    ASSERT_EQ(hvtest::RunProgram(
                  {"/usr/bin/tar", "-xf", (install / "part.tar").string(), "-C", install.string()}),
              0);
    EXPECT_EQ(ReadFile(install / "game.txt"), g.title + "\n");
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    EXPECT_EQ(hvtest::RunProgram({(install / g.program).string(), "--close-after", "300"}), 0);
}

TEST_F(DemoContent, ServiceServesTheGeneratedFolder) {
    hvtest::ServiceProcess service{Root(), dir->Path() / "demo.db"};
    ASSERT_EQ(service.Admin({"add-user", "demo", "demo"}), 0);
    auto login = hvtest::Http("POST", service.Url() + "/api/login",
                              R"({"user":"demo","password":"demo","player_version":"1,0,0,1"})");
    auto session = nlohmann::json::parse(login.body).value("session", "");
    auto catalogue = hvtest::Http("GET", service.Url() + "/api/catalogue?session=" + session);
    ASSERT_EQ(catalogue.status, 200);
    for (const auto& g : games) {
        EXPECT_NE(catalogue.body.find(g.package), std::string::npos) << g.package;
    }
    const Game& g = games.back();
    auto described = nlohmann::json::parse(
        hvtest::Http("GET", service.Url() + "/api/packages/" + g.package + "?session=" + session)
            .body);
    auto download = hvtest::Http("GET", described["archive_url"].get<std::string>());
    ASSERT_EQ(download.status, 200);
    EXPECT_EQ(download.body.size(), described["size"].get<std::size_t>());
    hvtest::TempDir tmp;
    std::ofstream(tmp.Path() / "a.tar", std::ios::binary) << download.body;
    EXPECT_EQ(hv::service::Sha256File(tmp.Path() / "a.tar").value_or(""),
              described["sha256"].get<std::string>());
}

}  // namespace
