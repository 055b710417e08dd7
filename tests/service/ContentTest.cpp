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
    const std::string developer(12000, 'd'), cut(9999, 'd');
    const Game full{"HV-X",  "X Marks", 1,     "Action,Puzzle", "EC- Early Childhood",
                    "12.50", developer, "Pub", "XKEY",          "x.tar",
                    "bin/x", 512};
    Game demo = full;
    demo.package = "HV-X-DEMO";
    demo.type = 3;
    std::string text = RenderCatalogue({full, demo}, {{"HV-X", 4096}});
    EXPECT_EQ(text.find_first_not_of("0123456789"), 92u) << "every width is four decimal digits";
    auto records = hvtest::CatalogueRecords(text);
    ASSERT_EQ(records.size(), 2u);
    std::string first;
    for (const auto& field : records[0]) {
        first += field + "|";
    }
    // The developer is cut to the largest width.
    EXPECT_EQ(first, "HV-X|X Marks|1|Action,Puzzle|EC- Early Childhood|12.50||||" + cut +
                         "|Pub|0|0|4096|512|0|0|x.tar|4096|0|XKEY|||");
    EXPECT_EQ(records[1][2], "3");
    EXPECT_EQ(records[1][13], "0") << "no size known for the demo's archive";
    EXPECT_TRUE(RenderCatalogue({}).empty());
}

TEST(Versions, DigitsCountFromTheEnd) {
    // Too many parts, a huge part, a negative one: unparsable, never a wrapped number.
    const std::pair<const char*, int> cases[] = {
        {"1,0,0,1", 1001},
        {"1,2,3,4", 1234},
        {"10,2,3,4", 234},
        {"5", 0},
        {"1,2,3,4,5,6,7,8,9,1,2,3", 0},
        {"1,0,0,99999999999999999999", 0},
        {"1,0,-5", 0},
        {"0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,1,0,0,1", 1001},
        {"2,1,4,7,4,8,3,6,4,7", 2147483647},
        {"2,1,4,7,4,8,3,6,4,8", 0}};
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
    // Nothing given resets every setting.
    f.Assign(nlohmann::json::object());
    EXPECT_EQ(f.ToJson(), Faults().ToJson());
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
    ASSERT_EQ(hvtest::RunProgram({"/usr/bin/tar", "-xf", file.string(), "-C", dir.Path().string()}),
              0);
    EXPECT_EQ(fs::status(dir.Path() / "bin/run.sh").permissions() & fs::perms::all,
              fs::perms(0755));
    EXPECT_EQ(fs::file_size(dir.Path() / longName), 1000u);
}

}  // namespace
