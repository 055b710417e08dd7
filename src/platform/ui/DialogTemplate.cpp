#include "ui/DialogTemplate.h"

#include <map>

namespace {

// Average character cell of the 8-point dialog font at 96 dpi.
constexpr int kBaseUnitX = 6;
constexpr int kBaseUnitY = 13;

// Rounded like the platform's MulDiv.
int Scale(int units, int base, int divisor) {
    const long long product = static_cast<long long>(units) * base;
    return static_cast<int>((product >= 0 ? product + divisor / 2 : product - divisor / 2) /
                            divisor);
}

std::map<UINT, DialogTemplate>& Templates() {
    static std::map<UINT, DialogTemplate> templates;
    return templates;
}

}  // namespace

int DialogUnitsToPixelsX(int units) {
    return Scale(units, kBaseUnitX, 4);
}
int DialogUnitsToPixelsY(int units) {
    return Scale(units, kBaseUnitY, 8);
}

void MapDialogRect(RECT* rect) {
    rect->left = DialogUnitsToPixelsX(rect->left);
    rect->right = DialogUnitsToPixelsX(rect->right);
    rect->top = DialogUnitsToPixelsY(rect->top);
    rect->bottom = DialogUnitsToPixelsY(rect->bottom);
}

void RegisterDialogTemplate(const DialogTemplate& dialogTemplate) {
    Templates()[dialogTemplate.id] = dialogTemplate;
}

const DialogTemplate* FindDialogTemplate(UINT id) {
    auto it = Templates().find(id);
    return it == Templates().end() ? nullptr : &it->second;
}
