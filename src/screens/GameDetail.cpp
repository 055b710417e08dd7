#include "screens/GameDetail.h"

#include "catalogue/GameInfo.h"
#include "messages/Messages.h"
#include "screens/GameTexts.h"

namespace hv::detail {

namespace {

// Play and delete for one record by its install state (nothing for an
// unknown state); `self` picks the shown record's action numbers rather than
// its partner's.
void AddGroup(std::vector<ActionEntry>& entries, const char* play, const char* remove, int state,
              bool self) {
    if (state < 1 || state > 3) {
        return;
    }
    const GameAction start = state == 3 ? (self ? ACTION_PLAY : ACTION_PLAY_PARTNER)
                                        : (self ? ACTION_DOWNLOAD : ACTION_DOWNLOAD_PARTNER);
    entries.push_back({play, kOrdinaryEntry, start});
    if (state != 1) {
        entries.push_back({remove, kOrdinaryEntry, self ? ACTION_DELETE : ACTION_DELETE_PARTNER});
    }
}

constexpr const char* kPlayGame = "Play Game";
constexpr const char* kDeleteGame = "Delete Game";
constexpr const char* kPlayDemo = "Play Free Demo";
constexpr const char* kDeleteDemo = "Delete Free Demo";

bool BothDemos(const GameInfo& game, const GameInfo* partner) {
    return partner && game.IsDemo() && partner->IsDemo();
}

}  // namespace

std::vector<ActionEntry> BuildActionEntries(const GameInfo& game, const TitleState& titleState) {
    const GameInfo* partner = game.m_pPartner;
    double price = PriceValue(game.m_strPrice);
    // Whether the priced record is the shown one rather than its partner.
    bool own = true;
    std::string key;
    if (!game.IsDemo() && price != 0) {
        key = game.m_strPackage;
    } else {
        if (game.IsDemo()) {
            price = 0;
            own = false;
        }
        if (partner) {
            price = PriceValue(partner->m_strPrice);
            if (partner->IsDemo()) {
                price = 0;
            } else if (price > 0) {
                own = false;
            }
            key = partner->m_strPackage;
        } else {
            key = game.m_strPackage;
        }
    }
    std::vector<ActionEntry> entries;
    if (price > 0) {
        AddGroup(entries, kPlayGame, kDeleteGame, titleState(key), own);
    } else {
        AddGroup(entries, kPlayDemo, kDeleteDemo, titleState(key), true);
    }
    if (partner && price > 0 && !BothDemos(game, partner)) {
        const int demoState =
            titleState(std::string(own ? partner->m_strPackage : game.m_strPackage));
        entries.push_back({kSeparatorText, kSeparatorEntry, 0});
        AddGroup(entries, kPlayDemo, kDeleteDemo, demoState, !own);
    }
    return entries;
}

std::vector<std::string> InformationLines(const GameInfo& game) {
    std::vector<std::string> lines{PriceLine(game)};
    if (game.m_pPartner && !BothDemos(game, game.m_pPartner)) {
        lines.emplace_back("Free Demo Available");
    }
    if (!game.m_strPublisher.empty()) {
        lines.push_back("Publisher: " + game.m_strPublisher);
    }
    if (!game.m_strDeveloper.empty()) {
        lines.push_back("Developer: " + game.m_strDeveloper);
    }
    lines.push_back("Rating: " + game.m_strRating);
    return lines;
}

FittedSize FitPicture(int w, int h, int boxWidth, int boxHeight, FitTie tie) {
    if (w <= 0 || h <= 0) {
        return {0, 0};
    }
    // The side nearer to the box's in pixels takes the box's size.
    const int shortWidth = boxWidth - w;
    const int shortHeight = boxHeight - h;
    bool fitHeight = shortHeight < shortWidth;
    if (shortHeight == shortWidth) {
        const bool smaller = w < boxWidth && h < boxHeight;
        fitHeight = (tie == FitTie::DetailScreen) == smaller;
    }
    // In this order, in floating point, then truncated: the sizes the art was made for.
    if (fitHeight) {
        return {static_cast<int>(w * (static_cast<double>(boxHeight) / h * 100) / 100), boxHeight};
    }
    return {boxWidth, static_cast<int>(h * (static_cast<double>(boxWidth) / w * 100) / 100)};
}

}  // namespace hv::detail
