#include "Content.h"
#include "Crypto.h"
#include "Faults.h"
#include "ServiceHarness.h"
#include "Tar.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using namespace hv::service;

TEST(CatalogueFormat, RecordsReadBackTheWayTheClientReadsThem) {
    Game full;
    full.package = "HV-X";
    full.title = "X Marks";
    full.categories = "Action,Puzzle";
    full.rating = "EC- Early Childhood";
    full.price = "12.50";
    full.developer = std::string(12000, 'd');
    full.publisher = "Pub";
    full.pairKey = "XKEY";
    Game demo = full;
    demo.package = "HV-X-DEMO";
    demo.type = 3;
    std::string text = RenderCatalogue({full, demo}, {{"HV-X", 4096}});
    EXPECT_EQ(text.find_first_not_of("0123456789"), 92u) << "every width is four decimal digits";
    auto records = hvtest::CatalogueRecords(text);
    ASSERT_EQ(records.size(), 2u);
    const std::pair<int, std::string> fields[] = {
        {0, "HV-X"},
        {1, "X Marks"},
        {2, "1"},
        {3, "Action,Puzzle"},
        {4, "EC- Early Childhood"},
        {5, "12.50"},
        {10, "Pub"},
        {13, "4096"},
        {20, "XKEY"},
    };
    for (const auto& [index, value] : fields) {
        EXPECT_EQ(records[0][static_cast<std::size_t>(index)], value) << "field " << index;
    }
    EXPECT_EQ(records[0][9], std::string(9999, 'd')) << "cut to the largest width";
    EXPECT_EQ(records[1][2], "3");
    EXPECT_EQ(records[1][13], "0") << "no size known for the demo's archive";
    EXPECT_TRUE(RenderCatalogue({}).empty());
}

TEST(Versions, DigitsCountFromTheEnd) {
    const std::pair<const char*, int> cases[] = {
        {"1,0,0,1", 1001},
        {"1,2,3,4", 1234},
        {"10,2,3,4", 234},
        {"5", 0},
        {"", 0},
        // Too many parts, a huge part, a negative one: unparsable, never a wrapped number.
        {"1,2,3,4,5,6,7,8,9,1,2,3", 0},
        {"1,0,0,99999999999999999999", 0},
        {"1,0,-5", 0},
        {"0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,1,0,0,1", 1001},
        {"2,1,4,7,4,8,3,6,4,7", 2147483647},
        {"2,1,4,7,4,8,3,6,4,8", 0},
    };
    for (const auto& [text, number] : cases) {
        EXPECT_EQ(VersionNumber(text), number) << text;
    }
}

TEST(Passwords, SaltedHashVerifiesOnlyTheRightPassword) {
    auto a = HashPassword("s3cret", 1000);
    EXPECT_NE(a, HashPassword("s3cret", 1000)) << "each hash has its own salt";
    EXPECT_EQ(a.find("s3cret"), std::string::npos);
    EXPECT_TRUE(VerifyPassword("s3cret", a));
    const std::pair<const char*, std::string> wrong[] = {
        {"S3cret", a},
        {"", a},
        {"s3cret", "s3cret"},
        {"s3cret", "pbkdf2-sha256$x$zz$zz"},
    };
    for (const auto& [password, stored] : wrong) {
        EXPECT_FALSE(VerifyPassword(password, stored)) << password << " against " << stored;
    }
}

TEST(HttpDates, FormatIsTheFixedGmtForm) {
    EXPECT_EQ(HttpDate(0), "Thu, 01 Jan 1970 00:00:00 GMT");
    EXPECT_EQ(HttpDate(1700000000), "Tue, 14 Nov 2023 22:13:20 GMT");
}

TEST(FaultSettings, FailuresCountDownAndBadInputChangesNothing) {
    Faults f;
    f.Assign({{"fail_next", 2}, {"throttle_bps", 1000}});
    EXPECT_EQ((std::vector<bool>{f.TakeFailure(), f.TakeFailure(), f.TakeFailure()}),
              (std::vector<bool>{true, true, false}));
    EXPECT_THROW(f.Assign({{"throttle_bps", -1}}), std::invalid_argument);
    EXPECT_EQ(f.throttleBps, 1000);
    EXPECT_THROW(f.Assign({{"drop_after_bytes", "ten"}}), std::invalid_argument);
    f.Assign({{"flip_byte_at", 5}, {"flip_times", 2}});
    EXPECT_EQ((std::vector<bool>{f.TakeFlip(), f.TakeFlip(), f.TakeFlip()}),
              (std::vector<bool>{true, true, false}));
    f.Assign({{"flip_byte_at", 5}});
    EXPECT_EQ((std::vector<bool>{f.TakeFlip(), f.TakeFlip(), f.TakeFlip()}),
              (std::vector<bool>{true, true, true}));
    f.Assign(nlohmann::json::object());
    EXPECT_EQ(f.ToJson(), (nlohmann::json{{"throttle_bps", 0},
                                          {"drop_after_bytes", 0},
                                          {"flip_byte_at", 0},
                                          {"flip_times", 0},
                                          {"fail_next", 0},
                                          {"login_delay_ms", 0},
                                          {"discover_delay_ms", 0},
                                          {"clock_offset_ms", 0}}));
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
