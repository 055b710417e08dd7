// One catalogue record: a game, or a free demo (type 3).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "image/CxImage.h"

struct GameInfo {
    std::string m_strTitle;
    std::string m_strPackage;     // identity of the record, compared ignoring case
    std::string m_strCategories;  // comma-separated names
    std::string m_strRating;
    std::string m_strPrice;  // decimal text; 0 means free
    std::string m_strDeveloper;
    std::string m_strPublisher;
    std::string m_strPairKey;  // shared by a game and its demo
    int16_t m_nType = 0;       // always > 0 once listed
    std::string m_strIconFile;
    std::string m_strDescFile;

    // The art thread replaces the icon while the screens draw it.
    std::unique_ptr<CxImage> m_pIconImage;
    std::mutex m_csIcon;

    GameInfo* m_pPartner = nullptr;  // the paired game or demo; never reset once set

    bool IsDemo() const { return m_nType == 3; }
};
