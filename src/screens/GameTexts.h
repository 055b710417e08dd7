// Texts the games and detail screens show for a record and its partner.
#pragma once

#include <string>
#include <string_view>

struct GameInfo;

// The decimal value at the start of a price text; 0 when there is none.
double PriceValue(std::string_view price);

// The price as a number; a demo costs nothing whatever its text says.
double PriceOf(const GameInfo& game);

// "Price:   $<price>" with the record's own price, else with its partner's,
// else "Free Demo".
std::string PriceLine(const GameInfo& game);
