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
using namespace halvory::service;

// Reads records the way the client does: 23 four-digit widths, then the values.
std::vector<std::vector<std::string>> parseRecords(const std::string& data) {
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

Game sampleGame() {
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
    Game demo = sampleGame();
    demo.package = "HV-X-DEMO";
    demo.title = "X Marks Demo";
    demo.type = 3;
    demo.price = "0";
    std::string text = renderCatalogue({sampleGame(), demo}, {{"HV-X", 4096}});
    EXPECT_EQ(text.find('\n'), std::string::npos);
    auto records = parseRecords(text);
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
    Game g = sampleGame();
    g.developer = std::string(12000, 'd');
    auto records = parseRecords(renderCatalogue({g}));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0][9].size(), 9999u);
    EXPECT_EQ(records[0][10], "Pub");
}

TEST(CatalogueFormat, EmptyCatalogueIsEmpty) {
    EXPECT_TRUE(renderCatalogue({}).empty());
}

TEST(Versions, DigitsCountFromTheEnd) {
    EXPECT_EQ(versionNumber("1,0,0,1"), 1001);
    EXPECT_EQ(versionNumber("1,2,3,4"), 1234);
    EXPECT_EQ(versionNumber("10,2,3,4"), 234);
    EXPECT_EQ(versionNumber("5"), 0);
    EXPECT_EQ(versionNumber(""), 0);
}

TEST(Passwords, SaltedHashVerifiesOnlyTheRightPassword) {
    auto a = hashPassword("s3cret", 1000);
    auto b = hashPassword("s3cret", 1000);
    EXPECT_NE(a, b) << "each hash has its own salt";
    EXPECT_EQ(a.find("s3cret"), std::string::npos);
    EXPECT_TRUE(verifyPassword("s3cret", a));
    EXPECT_FALSE(verifyPassword("S3cret", a));
    EXPECT_FALSE(verifyPassword("", a));
    EXPECT_FALSE(verifyPassword("s3cret", "s3cret"));
    EXPECT_FALSE(verifyPassword("s3cret", "pbkdf2-sha256$x$zz$zz"));
}

class ResolveTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(dir.path() / "root" / "art");
        std::ofstream(dir.path() / "root" / "art" / "a b.jpg") << "icon";
        std::ofstream(dir.path() / "outside.txt") << "secret";
        fs::create_symlink(dir.path() / "outside.txt", dir.path() / "root" / "art" / "link.jpg");
    }
    hvtest::TempDir dir;
};

TEST_F(ResolveTest, FindsFilesInsideTheFolder) {
    auto f = resolveUnder(dir.path() / "root", "/art/a b.jpg");
    ASSERT_TRUE(f);
    EXPECT_EQ(f->size, 4);
    struct stat st {};
    ASSERT_EQ(stat(f->path.c_str(), &st), 0);
    EXPECT_EQ(f->modified, st.st_mtime);
}

TEST_F(ResolveTest, RefusesEverythingThatLeavesTheFolder) {
    auto root = dir.path() / "root";
    EXPECT_FALSE(resolveUnder(root, "/art/../../outside.txt"));
    EXPECT_FALSE(resolveUnder(root, "../outside.txt"));
    EXPECT_FALSE(resolveUnder(root, "art\\..\\..\\outside.txt"));
    EXPECT_FALSE(resolveUnder(root, "/art/link.jpg")) << "symbolic link out of the folder";
    EXPECT_FALSE(resolveUnder(root, std::string("art/a b.jpg\0x", 13)));
    EXPECT_FALSE(resolveUnder(root, "/art")) << "directories are not files";
    EXPECT_FALSE(resolveUnder(root, "/art/none.jpg"));
}

TEST(HttpDates, FormatIsTheFixedGmtForm) {
    EXPECT_EQ(httpDate(0), "Thu, 01 Jan 1970 00:00:00 GMT");
    EXPECT_EQ(httpDate(1700000000), "Tue, 14 Nov 2023 22:13:20 GMT");
}

TEST(FaultSettings, FailuresCountDownAndBadInputChangesNothing) {
    Faults f;
    f.assign({{"fail_next", 2}, {"throttle_bps", 1000}});
    EXPECT_TRUE(f.takeFailure());
    EXPECT_TRUE(f.takeFailure());
    EXPECT_FALSE(f.takeFailure());
    EXPECT_THROW(f.assign({{"throttle_bps", -1}}), std::invalid_argument);
    EXPECT_EQ(f.throttleBps, 1000);
    EXPECT_THROW(f.assign({{"drop_after_bytes", "ten"}}), std::invalid_argument);
    f.assign(nlohmann::json::object());
    EXPECT_EQ(f.toJson(), (nlohmann::json{{"throttle_bps", 0},
                                          {"drop_after_bytes", 0},
                                          {"fail_next", 0},
                                          {"login_delay_ms", 0}}));
}

TEST(TarArchives, SystemTarReadsWhatWeWrite) {
    hvtest::TempDir dir;
    auto file = dir.path() / "a.tar";
    // Longer than the 100-byte name field: needs the ustar prefix.
    const std::string longName = "data/" + std::string(120, 'n') + "/level.pak";
    long long afterFirst = 0;
    {
        TarWriter tar(file, 1700000000);
        tar.addFile("bin/run.sh", "#!/bin/sh\n", 0755);
        afterFirst = tar.offset();
        tar.addFiller(longName, 1000, 3);
        tar.finish();
        EXPECT_EQ(tar.offset() % 512, 0);
    }
    EXPECT_EQ(afterFirst, 1024);
    EXPECT_EQ(static_cast<long long>(fs::file_size(file)), 512 + 512 + 512 + 1024 + 1024);
    std::string listing;
    ASSERT_EQ(hvtest::runProgram({"/usr/bin/tar", "-tvf", file.string()}, &listing), 0);
    EXPECT_NE(listing.find("-rwxr-xr-x"), std::string::npos);
    EXPECT_NE(listing.find("bin/run.sh"), std::string::npos);
    EXPECT_NE(listing.find(longName), std::string::npos);
    ASSERT_EQ(hvtest::runProgram({"/usr/bin/tar", "-xf", file.string(), "-C", dir.path().string()}),
              0);
    EXPECT_EQ(fs::file_size(dir.path() / longName), 1000u);
}

}  // namespace
