#include "screens/RatingBadge.h"

#include "image/CxImageQt.h"
#include "res/ResourceTable.h"
#include "text/NoCase.h"

namespace {

struct Badge {
    std::string_view rating;
    UINT id;
};
constexpr Badge kBadges[] = {
    {"E - Everyone", hv::res::kRatingE.id},      {"EC- Early Childhood", hv::res::kRatingEc.id},
    {"T - Teen", hv::res::kRatingT.id},          {"M - Mature", hv::res::kRatingM.id},
    {"AO - Adults Only", hv::res::kRatingAo.id}, {"RP - Rating Pending", hv::res::kRatingRp.id},
};

constexpr int kFaintAlpha = 100;

}  // namespace

UINT RatingBadgeId(std::string_view rating, bool ignoreCase) {
    for (const Badge& badge : kBadges) {
        if (ignoreCase ? hv::EqualsNoCase(rating, badge.rating) : rating == badge.rating) {
            return badge.id;
        }
    }
    return 0;
}

QImage LoadFaintBadge(UINT id) {
    CxImage badge;
    if (id == 0 || !badge.LoadResource("BITMAP", id, CXIMAGE_FORMAT_PNG)) {
        return {};
    }
    // An image without alpha of its own gets a weak one.
    if (!badge.AlphaIsValid()) {
        badge.AlphaCreate();
        badge.AlphaSetMax(kFaintAlpha);
    }
    return ToQImage(badge).convertToFormat(QImage::Format_ARGB32_Premultiplied);
}
