#include "screens/RatingBadge.h"

#include <QPainter>

#include "res/ResourceTable.h"
#include "skin/SkinSet.h"
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
    const QImage opaque = LoadBitmapResource(id);
    if (opaque.isNull()) {
        return {};
    }
    QImage faint(opaque.size(), QImage::Format_ARGB32_Premultiplied);
    faint.fill(Qt::transparent);
    QPainter painter(&faint);
    painter.setOpacity(kFaintAlpha / 255.0);
    painter.drawImage(0, 0, opaque);
    return faint;
}
