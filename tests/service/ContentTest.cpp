#include "Content.h"
#include "Crypto.h"
#include "Faults.h"
#include "ServiceHarness.h"
#include "Tar.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using namespace hv::service;

// Reads records the way the client does: 23 four-digit widths, then the values.
std::vector<std::vector<std::string>> ParseRecords(const std::string& data) {
    std::vector<std::vector<std::string>> records;
    std::size_t pos = 0;
    while (data.size() - pos >= 92) {
        int widths[23];
        for (int i = 0; i < 23; ++i) {
            widths[i] = std::atoi(data.substr(pos + i * 4, 4).c_str());
        }
        pos += 92;
        std::vector<std::string> fields;
        for (int w : widths) {
            fields.push_back(data.substr(pos, static_cast<std::size_t>(w)));
            pos += static_cast<std::size_t>(w);
        }
        records.push_back(fields);
    }
    EXPECT_EQ(pos, data.size()) << "trailing bytes after the last record";
    return records;
}

Game SampleGame() {
    Game g;
    g.package = "HV-X";
    g.title = "X Marks";
    g.type = 1;
    g.categories = "Action,Puzzle";
    g.rating = "EC- Early Childhood";
    g.price = "12.50";
    g.developer = "Dev";
    g.publisher = "Pub";
    g.pairKey = "XKEY";
    g.archive = "HV-X.tar";
    g.playableBytes = 1024;
    return g;
}

TEST(CatalogueFormat, RecordsRoundTripThroughTheClientReading) {
    Game demo = SampleGame();
    demo.package = "HV-X-DEMO";
    demo.title = "X Marks Demo";
    demo.type = 3;
    demo.price = "0";
    std::string text = RenderCatalogue({SampleGame(), demo}, {{"HV-X", 4096}});
    EXPECT_EQ(text.find('\n'), std::string::npos);
    auto records = ParseRecords(text);
    ASSERT_EQ(records.size(), 2u);
    const auto& r = records[0];
    EXPECT_EQ(r[0], "HV-X");
    EXPECT_EQ(r[1], "X Marks");
    EXPECT_EQ(r[2], "1");
    EXPECT_EQ(r[3], "Action,Puzzle");
    EXPECT_EQ(r[4], "EC- Early Childhood");
    EXPECT_EQ(r[5], "12.50");
    EXPECT_EQ(r[9], "Dev");
    EXPECT_EQ(r[10], "Pub");
    EXPECT_EQ(r[13], "4096");
    EXPECT_EQ(r[20], "XKEY");
    EXPECT_EQ(records[1][2], "3");
    EXPECT_EQ(records[1][5], "0");
    EXPECT_EQ(records[1][13], "0") << "no size known for the demo's archive";
    // Every width is exactly four decimal digits.
    for (int i = 0; i < 92; ++i) {
        EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(text[static_cast<std::size_t>(i)])));
    }
}

TEST(CatalogueFormat, OverlongFieldIsCutToTheLargestWidth) {
    Game g = SampleGame();
    g.developer = std::string(12000, 'd');
    auto records = ParseRecords(RenderCatalogue({g}));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0][9].size(), 9999u);
    EXPECT_EQ(records[0][10], "Pub");
}

TEST(CatalogueFormat, EmptyCatalogueIsEmpty) {
    EXPECT_TRUE(RenderCatalogue({}).empty());
}

TEST(Versions, DigitsCountFromTheEnd) {
    EXPECT_EQ(VersionNumber("1,0,0,1"), 1001);
    EXPECT_EQ(VersionNumber("1,2,3,4"), 1234);
    EXPECT_EQ(VersionNumber("10,2,3,4"), 234);
    EXPECT_EQ(VersionNumber("5"), 0);
    EXPECT_EQ(VersionNumber(""), 0);
}

TEST(Passwords, SaltedHashVerifiesOnlyTheRightPassword) {
    auto a = HashPassword("s3cret", 1000);
    auto b = HashPassword("s3cret", 1000);
    EXPECT_NE(a, b) << "each hash has its own salt";
    EXPECT_EQ(a.find("s3cret"), std::string::npos);
    EXPECT_TRUE(VerifyPassword("s3cret", a));
    EXPECT_FALSE(VerifyPassword("S3cret", a));
    EXPECT_FALSE(VerifyPassword("", a));
    EXPECT_FALSE(VerifyPassword("s3cret", "s3cret"));
    EXPECT_FALSE(VerifyPassword("s3cret", "pbkdf2-sha256$x$zz$zz"));
}

class ResolveTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(m_dir.Path() / "root" / "art");
        std::ofstream(m_dir.Path() / "root" / "art" / "a b.jpg") << "icon";
        std::ofstream(m_dir.Path() / "outside.txt") << "secret";
        fs::create_symlink(m_dir.Path() / "outside.txt",
                           m_dir.Path() / "root" / "art" / "link.jpg");
    }
    hvtest::TempDir m_dir;
};

TEST_F(ResolveTest, FindsFilesInsideTheFolder) {
    auto f = ResolveUnder(m_dir.Path() / "root", "/art/a b.jpg");
    ASSERT_TRUE(f);
    EXPECT_EQ(f->size, 4);
    struct stat st {};
    ASSERT_EQ(stat(f->path.c_str(), &st), 0);
    EXPECT_EQ(f->modified, st.st_mtime);
}

TEST_F(ResolveTest, RefusesEverythingThatLeavesTheFolder) {
    auto root = m_dir.Path() / "root";
    EXPECT_FALSE(ResolveUnder(root, "/art/../../outside.txt"));
    EXPECT_FALSE(ResolveUnder(root, "../outside.txt"));
    EXPECT_FALSE(ResolveUnder(root, "art\\..\\..\\outside.txt"));
    EXPECT_FALSE(ResolveUnder(root, "/art/link.jpg")) << "symbolic link out of the folder";
    EXPECT_FALSE(ResolveUnder(root, std::string("art/a b.jpg\0x", 13)));
    EXPECT_FALSE(ResolveUnder(root, "/art")) << "directories are not files";
    EXPECT_FALSE(ResolveUnder(root, "/art/none.jpg"));
}

TEST(HttpDates, FormatIsTheFixedGmtForm) {
    EXPECT_EQ(HttpDate(0), "Thu, 01 Jan 1970 00:00:00 GMT");
    EXPECT_EQ(HttpDate(1700000000), "Tue, 14 Nov 2023 22:13:20 GMT");
}

TEST(FaultSettings, FailuresCountDownAndBadInputChangesNothing) {
    Faults f;
    f.Assign({{"fail_next", 2}, {"throttle_bps", 1000}});
    EXPECT_TRUE(f.TakeFailure());
    EXPECT_TRUE(f.TakeFailure());
    EXPECT_FALSE(f.TakeFailure());
    EXPECT_THROW(f.Assign({{"throttle_bps", -1}}), std::invalid_argument);
    EXPECT_EQ(f.throttleBps, 1000);
    EXPECT_THROW(f.Assign({{"drop_after_bytes", "ten"}}), std::invalid_argument);
    f.Assign(nlohmann::json::object());
    EXPECT_EQ(f.ToJson(), (nlohmann::json{{"throttle_bps", 0},
                                          {"drop_after_bytes", 0},
                                          {"fail_next", 0},
                                          {"login_delay_ms", 0}}));
}

TEST(TarArchives, SystemTarReadsWhatWeWrite) {
    hvtest::TempDir dir;
    auto file = dir.Path() / "a.tar";
    // Longer than the 100-byte name field: needs the ustar prefix.
    const std::string longName = "data/" + std::string(120, 'n') + "/level.pak";
    long long afterFirst = 0;
    {
        TarWriter tar(file, 1700000000);
        tar.AddFile("bin/run.sh", "#!/bin/sh\n", 0755);
        afterFirst = tar.Offset();
        tar.AddFiller(longName, 1000, 3);
        tar.Finish();
        EXPECT_EQ(tar.Offset() % 512, 0);
    }
    EXPECT_EQ(afterFirst, 1024);
    EXPECT_EQ(static_cast<long long>(fs::file_size(file)), 512 + 512 + 512 + 1024 + 1024);
    std::string listing;
    ASSERT_EQ(hvtest::RunProgram({"/usr/bin/tar", "-tvf", file.string()}, &listing), 0);
    EXPECT_NE(listing.find("-rwxr-xr-x"), std::string::npos);
    EXPECT_NE(listing.find("bin/run.sh"), std::string::npos);
    EXPECT_NE(listing.find(longName), std::string::npos);
    ASSERT_EQ(hvtest::RunProgram({"/usr/bin/tar", "-xf", file.string(), "-C", dir.Path().string()}),
              0);
    EXPECT_EQ(fs::file_size(dir.Path() / longName), 1000u);
}

}  // namespace
