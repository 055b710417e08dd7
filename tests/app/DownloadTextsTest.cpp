#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <vector>

#include "app/DownloadTexts.h"

namespace {

using hv::StatsUpdate;
using hv::TransferStats;

std::string Or(const std::optional<std::string>& text) {
    return text.value_or("(unchanged)");
}

}  // namespace

TEST(DownloadTexts, SizesTimesAndRatesPickTheirUnitAtTheBoundaries) {
    const std::pair<int64_t, const char*> sizes[] = {
        {0, "0 Bytes"},         {1023, "1023 Bytes"}, {1024, "1.0 KB"},     {1536, "1.5 KB"},
        {1048575, "1024.0 KB"}, {1048576, "1.00 MB"}, {5452595, "5.20 MB"},
    };
    for (const auto& [bytes, text] : sizes) {
        EXPECT_EQ(hv::FormatSize(bytes), text) << bytes;
    }
    const std::pair<DWORD, const char*> times[] = {
        {0, "0 sec"}, {59, "59 sec"}, {60, "1 min"}, {65, "1 min 5 sec"}, {3600, "60 min"},
    };
    for (const auto& [seconds, text] : times) {
        EXPECT_EQ(hv::FormatTimeLeft(seconds), text) << seconds;
    }
    // Bytes per millisecond: below 1 as bytes (times 1024), below 10 with two decimals.
    const std::pair<double, const char*> rates[] = {
        {0.5, "512 Bytes/Sec"}, {0.999, "1023 Bytes/Sec"}, {1, "1.00 KB/Sec"},
        {9.99, "9.99 KB/Sec"},  {10, "10 KB/Sec"},         {123.4, "123 KB/Sec"},
    };
    for (const auto& [rate, text] : rates) {
        EXPECT_EQ(hv::FormatRate(rate), text) << rate;
    }
}

TEST(DownloadTexts, PlaceholdersAreFilledOnceAndErrorsCarryTheirCode) {
    EXPECT_EQ(hv::FormatDownloadString(hv::IDS_DL_PERCENT_CAPTION, "%2", "Install.sfe"),
              "%2% of Install.sfe Completed");
    // The connect and status errors are shown by the dialog's own tests.
    EXPECT_EQ(hv::DownloadErrorText(hv::IDS_DL_FILE_ERROR, 13),
              "An error occured while opening the file to be downloaded, Error:13");
}

// One block after another on a made-up clock: the caption only when the
// percent moves, the rate and time only once more than a second has passed.
TEST(DownloadTexts, StatisticsChangeOnlyWhatTheBlockMoved) {
    struct Step {
        DWORD now;
        int64_t done;
        std::optional<int> percent;
        const char* caption;
        const char* rate;
        const char* timeLeft;
    };
    const struct {
        const char* name;
        std::optional<int64_t> length;
        DWORD start;
        std::vector<Step> steps;
    } cases[] = {
        {"known length",
         200000,
         5000,
         {{5100, 1024, 0, "0% of Install.sfe Completed", nullptr, nullptr},
          {5900, 1500, std::nullopt, nullptr, nullptr, nullptr},
          {6000, 2000, 1, "1% of Install.sfe Completed", nullptr, nullptr},
          // 1001 ms, 20020 bytes since the start: 20 KB/s; 180000 left at 20 bytes/ms.
          {6001, 20020, 10, "10% of Install.sfe Completed", "20 KB/Sec",
           "8 sec (19.6 KB of 195.3 KB copied)"},
          {7002, 30000, 15, "15% of Install.sfe Completed", "9.97 KB/Sec",
           "11 sec (29.3 KB of 195.3 KB copied)"}}},
        {"no length",
         std::nullopt,
         100,
         {{1100, 1000, std::nullopt, nullptr, nullptr, nullptr},
          {1101, 1000, std::nullopt, nullptr, "1023 Bytes/Sec", nullptr}}},
        {"tick count wraps",
         5000,
         0xFFFFFF00u,
         {{0x00000300u, 2048, 40, "40% of Install.sfe Completed", "2.00 KB/Sec",
           "1 sec (2.0 KB of 4.9 KB copied)"}}},
    };
    for (const auto& c : cases) {
        TransferStats stats = hv::StartTransferStats(c.start, c.length);
        for (const Step& step : c.steps) {
            SCOPED_TRACE(testing::Message() << c.name << " at " << step.now);
            const StatsUpdate update =
                hv::UpdateTransferStats(&stats, step.now, step.done, "Install.sfe");
            EXPECT_EQ(update.percent, step.percent);
            EXPECT_EQ(Or(update.caption), step.caption ? step.caption : "(unchanged)");
            EXPECT_EQ(Or(update.rate), step.rate ? step.rate : "(unchanged)");
            EXPECT_EQ(Or(update.timeLeft), step.timeLeft ? step.timeLeft : "(unchanged)");
        }
    }
}

TEST(DownloadTexts, AddressesParseWithOrWithoutTheirScheme) {
    const struct {
        const char* address;
        bool parsed;
        const char* joined;
        const char* fileName;
    } rows[] = {
        {"http://upgrades.example/pkg/Install.sfe", true,
         "http://upgrades.example:80/pkg/Install.sfe", "Install.sfe"},
        {"HTTPS://127.0.0.1:8443/a/b.zip?x=1", true, "https://127.0.0.1:8443/a/b.zip?x=1",
         "b.zip?x=1"},
        {"http://[::1]:81/dir\\file.bin", true, "http://[::1]:81/dir\\file.bin", "dir\\file.bin"},
        {"http://host", true, "http://host:80/", ""},
        {"host:8080/Install.sfe", false, "", ""},
        {"ftp://host/file", false, "", ""},
        {"http://host:99999/file", false, "", ""},
        {"http://host:/file", false, "", ""},
        {"http:///file", false, "", ""},
        {"http://user@host/file", false, "", ""},
    };
    for (const auto& row : rows) {
        hv::DownloadAddress address;
        EXPECT_EQ(hv::ParseDownloadAddress(row.address, &address), row.parsed) << row.address;
        if (row.parsed) {
            EXPECT_EQ(hv::JoinDownloadAddress(address), row.joined);
            EXPECT_EQ(hv::ObjectFileName(address.object), row.fileName) << row.address;
        }
    }
    EXPECT_EQ(hv::ObjectFileName("dir\\sub\\Install.sfe"), "Install.sfe") << "no slash: backslash";
    EXPECT_EQ(hv::ObjectFileName("Install.sfe"), "Install.sfe");
}
