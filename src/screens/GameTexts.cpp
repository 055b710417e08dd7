#include "screens/GameTexts.h"

#include <cctype>
#include <charconv>

#include "catalogue/GameInfo.h"

double PriceValue(std::string_view price) {
    // Not strtod: the user's locale may want a decimal comma.
    const char* first = price.data();
    const char* const last = first + price.size();
    while (first != last && std::isspace(static_cast<unsigned char>(*first))) {
        ++first;
    }
    if (first != last && *first == '+') {
        ++first;
    }
    double value = 0;
    const auto result = std::from_chars(first, last, value);
    return result.ec == std::errc() ? value : 0;
}

double PriceOf(const GameInfo& game) {
    return game.IsDemo() ? 0.0 : PriceValue(game.m_strPrice);
}

std::string PriceLine(const GameInfo& game) {
    for (const GameInfo* priced : {&game, static_cast<const GameInfo*>(game.m_pPartner)}) {
        if (priced && PriceOf(*priced) != 0) {
            return "Price:   $" + std::string(priced->m_strPrice);
        }
    }
    return "Free Demo";
}
