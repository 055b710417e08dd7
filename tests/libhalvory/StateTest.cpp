#include <gtest/gtest.h>

#include <filesystem>

#include "Files.h"
#include "State.h"
#include "TarBuilder.h"

namespace {

namespace fs = std::filesystem;

hv::EngineState SampleState() {
    hv::EngineState state;
    state.installed["PKG-1"] = {"Space Race", "/games/Space Race", "bin/race", "ab12", false};
    state.installed["A-DEMO"] = {"Space Race", "/games/Space Race Demo", "race.sh", "cd34", true};
    state.partial["PKG-2"] = {"Tide", "/games/Tide", "/games/Tide.hvpart", "ef56", 1234567890123};
    return state;
}

// Every field is in the saved text, so equal texts mean nothing was lost. A
// damaged or foreign file gives an empty state.
TEST(EngineStateFile, SaveReplacesTheFileWholeAndLoadReadsOnlyItsOwnFormat) {
    hvtest::TempDir tmp;
    const fs::path file = tmp.Path() / "state.json";
    EXPECT_FALSE(SampleState().Save(tmp.Path() / "missing/state.json"));
    EXPECT_TRUE(fs::is_empty(tmp.Path()));
    hvtest::WriteFile(file, std::string(100000, ' ') + "{}");
    ASSERT_TRUE(SampleState().Save(file));
    hv::EngineState loaded = hv::EngineState::Load(file);
    EXPECT_EQ(loaded.ToJson(), SampleState().ToJson());
    // Titles match without case; the game, not its demo, and nothing partial.
    const std::string* package = loaded.PackageForTitle("SPACE race");
    ASSERT_NE(package, nullptr);
    EXPECT_EQ(*package, "PKG-1");
    EXPECT_EQ(loaded.PackageForTitle("Tide"), nullptr);
    ASSERT_TRUE(hv::EngineState().Save(file));
    EXPECT_TRUE(hv::EngineState::Load(file).installed.empty());
    std::vector<fs::path> names;
    for (const auto& e : fs::directory_iterator(tmp.Path())) {
        names.push_back(e.path().filename());
    }
    EXPECT_EQ(names, std::vector<fs::path>{"state.json"});

    const std::string good = SampleState().ToJson();
    for (const std::string& text :
         {good.substr(0, good.size() / 2), std::string("\x00\xff garbage", 10),
          std::string("[1,2,3]"), std::string(R"({"format": 99, "installed": {}})"),
          std::string(R"({"format": 1, "installed": {"P": {"title": 5}}})")}) {
        hvtest::WriteFile(file, text);
        hv::EngineState state = hv::EngineState::Load(file);
        EXPECT_TRUE(state.installed.empty()) << text;
        EXPECT_TRUE(state.partial.empty()) << text;
    }
    EXPECT_TRUE(hv::EngineState::Load((tmp.Path() / "absent.json").string()).installed.empty());
}

TEST(IniValue, FollowsTheClientsRules) {
    hvtest::TempDir tmp;
    const std::string ini = (tmp.Path() / "Halvory.ini").string();
    hvtest::WriteFile(ini,
                      "[engine]\r\n"
                      "ENGINE_URL=http://first\r\n"
                      ";ENGINE_URL=http://commented\n"
                      "ENGINE_URL = http://blanks-belong-to-the-key\n"
                      "ENGINE_URL=\n"
                      "engine_url=http://a=b\r\n"
                      "ARTURL=http://art\n");
    EXPECT_EQ(hv::ReadIniValue(ini, "ENGINE_URL"), "http://a=b");
    EXPECT_EQ(hv::ReadIniValue(ini, "ARTURL"), "http://art");
    EXPECT_EQ(hv::ReadIniValue(ini, "MISSING"), "");
    EXPECT_EQ(hv::ReadIniValue((tmp.Path() / "absent.ini").string(), "ENGINE_URL"), "");
}

}  // namespace
