// The process-wide catalogue: every record in first-seen order. Records keep
// their address until the catalogue is cleared, so others hold plain pointers.
#pragma once

#include <memory>
#include <vector>

#include "catalogue/GameInfo.h"

extern std::vector<std::unique_ptr<GameInfo>> g_arrGameInfo;
