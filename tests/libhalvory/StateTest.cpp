#include <gtest/gtest.h>

#include <filesystem>

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

// Every field is in the saved text, so equal texts mean nothing was lost.
TEST(EngineStateFile, SaveReplacesTheFileWholeAndLeavesNoTemporaries) {
    hvtest::TempDir tmp;
    const fs::path file = tmp.Path() / "state.json";
    EXPECT_FALSE(SampleState().Save(tmp.Path() / "missing/state.json"));
    EXPECT_TRUE(fs::is_empty(tmp.Path()));
    hvtest::WriteFile(file, std::string(100000, ' ') + "{}");
    ASSERT_TRUE(SampleState().Save(file));
    hv::EngineState loaded = hv::EngineState::Load(file);
    EXPECT_EQ(loaded.partial["PKG-2"].size, 1234567890123u);
    EXPECT_EQ(loaded.ToJson(), SampleState().ToJson());
    hv::EngineState empty;
    ASSERT_TRUE(empty.Save(file));
    EXPECT_TRUE(hv::EngineState::Load(file).installed.empty());
    std::vector<fs::path> names;
    for (const auto& e : fs::directory_iterator(tmp.Path())) {
        names.push_back(e.path().filename());
    }
    EXPECT_EQ(names, std::vector<fs::path>{"state.json"});
}

TEST(EngineStateFile, CorruptOrForeignFilesGiveAnEmptyState) {
    hvtest::TempDir tmp;
    const fs::path file = tmp.Path() / "state.json";
    std::string good = SampleState().ToJson();
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

TEST(EngineStateFile, TitlesMatchWithoutCase) {
    hv::EngineState state = SampleState();
    const std::string* package = state.PackageForTitle("SPACE race");
    ASSERT_NE(package, nullptr);
    EXPECT_EQ(*package, "PKG-1");  // the game, not its demo "A-DEMO"
    EXPECT_EQ(state.PackageForTitle("Tide"), nullptr);
}

}  // namespace
