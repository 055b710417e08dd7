#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <regex>
#include <string>

#include "../support/TestFiles.h"
#include "winapi/Log.h"

namespace {

namespace fs = std::filesystem;
using hvtest::ReadFile;

// Each step points the log somewhere through the environment, as the log
// reads it on every line.
TEST(Log, OneLinePerEventInTheRightPlace) {
    const hvtest::TempDir dir;
    const std::string head = R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z )";
    const auto matches = [&](const fs::path& file, const std::string& lines) {
        return std::regex_match(ReadFile(file), std::regex(lines));
    };
    const fs::path log = dir.Path() / "a.log";
    ::setenv("HALVORY_LOG_FILE", log.c_str(), 1);
    hv::LogWarning("%d parts of %s", 3, "SPACE");
    hv::LogError("first\nsecond\r\n");
    EXPECT_TRUE(matches(log, head + "WARNING " + std::to_string(::gettid()) +
                                 " 3 parts of SPACE\n" + head +
                                 R"(ERROR \d+ first\\nsecond\\r\\n\n)"))
        << ReadFile(log);

    // Past the size cap the file moves aside, replacing an older one.
    const fs::path full = dir.Path() / "full.log";
    const std::string nearlyFull = std::string((1 << 20) - 10, 'x') + "\n";
    hvtest::WriteFile(full, nearlyFull);
    hvtest::WriteFile(dir.Path() / "full.log.1", "older\n");
    ::setenv("HALVORY_LOG_FILE", full.c_str(), 1);
    hv::LogInfo("passes the cap");
    hv::LogInfo("starts anew");
    const std::string rotated = ReadFile(dir.Path() / "full.log.1");
    EXPECT_EQ(rotated.rfind(nearlyFull, 0), 0u);
    EXPECT_TRUE(rotated.ends_with(" passes the cap\n"));
    EXPECT_TRUE(matches(full, head + R"(INFO \d+ starts anew\n)"));

    // Without a file named, the state folder, made on first use.
    ::unsetenv("HALVORY_LOG_FILE");
    ::setenv("XDG_STATE_HOME", (dir.Path() / "state").c_str(), 1);
    hv::LogInfo("here");
    EXPECT_TRUE(matches(dir.Path() / "state/halvory/halvory.log", head + R"(INFO \d+ here\n)"));

    // A folder that cannot be made: nothing is written anywhere.
    const fs::path blocked = dir.Path() / "blocked";
    hvtest::WriteFile(blocked / "plain", "");
    ::setenv("HALVORY_LOG_FILE", (blocked / "plain/sub/a.log").c_str(), 1);
    hv::LogError("nowhere to go");
    EXPECT_EQ(std::distance(fs::directory_iterator(blocked), fs::directory_iterator()), 1);
    EXPECT_EQ(fs::file_size(blocked / "plain"), 0u);
    ::unsetenv("HALVORY_LOG_FILE");
    ::unsetenv("XDG_STATE_HOME");
}

}  // namespace
