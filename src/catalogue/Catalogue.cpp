#include "catalogue/Catalogue.h"

std::vector<std::unique_ptr<GameInfo>> g_arrGameInfo;
