#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "../support/TestFiles.h"
#include "winapi/Log.h"

namespace {

namespace fs = std::filesystem;
using hvtest::ReadFile;

// The file's lines after their time stamps ("2026-12-06T23:14:17.123Z "),
// whose shape is checked on the way.
std::vector<std::string> Lines(const fs::path& file) {
    std::vector<std::string> lines;
    std::istringstream in(ReadFile(file));
    for (std::string line; std::getline(in, line);) {
        const bool stamped = line.size() > 25 && line[4] == '-' && line[10] == 'T' &&
                             line[19] == '.' && line[23] == 'Z' && line[24] == ' ';
        EXPECT_TRUE(stamped) << line;
        lines.push_back(stamped ? line.substr(25) : line);
    }
    return lines;
}

// Each step points the log somewhere through the environment, as the log
// reads it on every line.
TEST(Log, OneLinePerEventInTheRightPlace) {
    const hvtest::TempDir dir;
    const std::string thread = std::to_string(::gettid());
    const auto only = [&](const std::string& line) { return std::vector<std::string>{line}; };
    const fs::path log = dir.Path() / "a.log";
    ::setenv("HALVORY_LOG_FILE", log.c_str(), 1);
    hv::LogWarning("%d parts of %s", 3, "SPACE");
    hv::LogError("first\nsecond\r\n");
    EXPECT_EQ(Lines(log), (std::vector<std::string>{"WARNING " + thread + " 3 parts of SPACE",
                                                    "ERROR " + thread + R"( first\nsecond\r\n)"}));

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
    EXPECT_EQ(Lines(full), only("INFO " + thread + " starts anew"));

    // Without a file named, the state folder, made on first use.
    ::unsetenv("HALVORY_LOG_FILE");
    ::setenv("XDG_STATE_HOME", (dir.Path() / "state").c_str(), 1);
    hv::LogInfo("here");
    EXPECT_EQ(Lines(dir.Path() / "state/halvory/halvory.log"), only("INFO " + thread + " here"));

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
