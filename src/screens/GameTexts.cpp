#include "screens/GameTexts.h"

#include <cstdlib>

#include "catalogue/GameInfo.h"

double PriceOf(const GameInfo& game) {
    return game.IsDemo() ? 0.0 : std::atof(std::string(game.m_strPrice).c_str());
}

std::string PriceLine(const GameInfo& game) {
    for (const GameInfo* priced : {&game, static_cast<const GameInfo*>(game.m_pPartner)}) {
        if (priced && PriceOf(*priced) != 0) {
            return "Price:   $" + std::string(priced->m_strPrice);
        }
    }
    return "Free Demo";
}
