// One catalogue record: a game, or a free demo (type 3).
#pragma once

#include <string>
#include <vector>

struct GameInfo {
    std::string m_strTitle;
    std::string m_strPackage;
    int m_nType = 0;
    std::vector<std::string> m_arrCategories;
    GameInfo* m_pPartner = nullptr;  // the paired game or demo

    bool IsDemo() const { return m_nType == 3; }
};
