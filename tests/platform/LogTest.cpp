#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "winapi/Log.h"

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// Each case gets a fresh folder and sets the log's environment itself.
struct Case {
    const char* name;
    std::function<void(const fs::path& dir)> write;
    std::function<void(const fs::path& dir)> check;
};

TEST(Log, OneLinePerEventInTheRightPlace) {
    const std::string head = R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z )";
    const std::string thread = std::to_string(::gettid());
    const std::string nearlyFull = std::string((1 << 20) - 10, 'x') + "\n";
    const std::vector<Case> cases = {
        {"format",
         [](const fs::path& dir) {
             ::setenv("HALVORY_LOG_FILE", (dir / "a.log").c_str(), 1);
             hv::LogWarning("%d parts of %s", 3, "SPACE");
         },
         [&](const fs::path& dir) {
             const auto lines = Lines(ReadFile(dir / "a.log"));
             ASSERT_EQ(lines.size(), 1u);
             EXPECT_TRUE(std::regex_search(
                 lines[0], std::regex(head + "WARNING " + thread + " 3 parts of SPACE$")))
                 << lines[0];
         }},
        {"line breaks escaped",
         [](const fs::path& dir) {
             ::setenv("HALVORY_LOG_FILE", (dir / "a.log").c_str(), 1);
             hv::LogError("first\nsecond\r\n");
         },
         [&](const fs::path& dir) {
             const auto lines = Lines(ReadFile(dir / "a.log"));
             ASSERT_EQ(lines.size(), 1u);
             EXPECT_TRUE(std::regex_search(lines[0],
                                           std::regex(head + R"(ERROR \d+ first\\nsecond\\r\\n$)")))
                 << lines[0];
         }},
        {"size cap",
         [&](const fs::path& dir) {
             WriteFile(dir / "a.log", nearlyFull);
             WriteFile(dir / "a.log.1", "older\n");
             ::setenv("HALVORY_LOG_FILE", (dir / "a.log").c_str(), 1);
             hv::LogInfo("passes the cap");
             hv::LogInfo("starts anew");
         },
         [&](const fs::path& dir) {
             const std::string rotated = ReadFile(dir / "a.log.1");
             EXPECT_EQ(rotated.rfind(nearlyFull, 0), 0u);
             EXPECT_EQ(rotated.substr(rotated.size() - 15), "passes the cap\n");
             const auto lines = Lines(ReadFile(dir / "a.log"));
             ASSERT_EQ(lines.size(), 1u);
             EXPECT_NE(lines[0].find("INFO"), std::string::npos);
             EXPECT_EQ(lines[0].substr(lines[0].size() - 11), "starts anew");
         }},
        {"state folder made on first use",
         [](const fs::path& dir) {
             ::unsetenv("HALVORY_LOG_FILE");
             ::setenv("XDG_STATE_HOME", (dir / "state").c_str(), 1);
             hv::LogInfo("here");
         },
         [](const fs::path& dir) {
             EXPECT_EQ(Lines(ReadFile(dir / "state/halvory/halvory.log")).size(), 1u);
         }},
        {"folder cannot be made",
         [](const fs::path& dir) {
             WriteFile(dir / "plain", "");
             ::setenv("HALVORY_LOG_FILE", (dir / "plain/sub/a.log").c_str(), 1);
             hv::LogError("nowhere to go");
         },
         [](const fs::path& dir) {
             EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
             EXPECT_EQ(fs::file_size(dir / "plain"), 0u);
         }},
    };
    const fs::path root = fs::temp_directory_path() / ("hvlog-" + std::to_string(::getpid()));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path dir = root / c.name;
        fs::create_directories(dir);
        c.write(dir);
        c.check(dir);
    }
    ::unsetenv("HALVORY_LOG_FILE");
    ::unsetenv("XDG_STATE_HOME");
    fs::remove_all(root);
}

}  // namespace
