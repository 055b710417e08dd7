// What the game detail screen shows for a record, worked out without a
// window: its action entries, its information lines, its rating badge and
// the size its picture is drawn at.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct GameInfo;

namespace hv::detail {

// One row of the action list.
struct ActionEntry {
    std::string text;
    int kind;    // kOrdinaryEntry or kSeparatorEntry
    int action;  // the UWM_GAME_ACTION number; 0 for the separator
    bool operator==(const ActionEntry&) const = default;
};
inline constexpr int kOrdinaryEntry = 1;
inline constexpr int kSeparatorEntry = 4;
inline constexpr const char* kSeparatorText = "SPLITTER";

// 3 installed as a demo, 2 installed as a full game, 1 not installed.
using TitleState = std::function<int(const std::string& package)>;

// The list for a record and its partner: the full game's entries first,
// then, after a separator, its free demo's.
std::vector<ActionEntry> BuildActionEntries(const GameInfo& game, const TitleState& titleState);

// Price, "Free Demo Available", publisher, developer and rating, as shown.
std::vector<std::string> InformationLines(const GameInfo& game);

struct FittedSize {
    int width;
    int height;
    bool operator==(const FittedSize&) const = default;
};
// Which side takes the box's when the picture is as far off in both: the
// detail screen and the download screen settle a tie in opposite ways.
enum class FitTie { DetailScreen, DownloadScreen };
// A picture of w x h fitted to a box of boxWidth x boxHeight: one side takes
// the box's, the other keeps the picture's proportions. The side is chosen by
// the differences in pixels, not by the ratios.
FittedSize FitPicture(int w, int h, int boxWidth, int boxHeight, FitTie tie = FitTie::DetailScreen);

}  // namespace hv::detail
