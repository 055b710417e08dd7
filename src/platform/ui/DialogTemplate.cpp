#include "ui/DialogTemplate.h"

#include <QLabel>
#include <QLineEdit>
#include <map>

#include "ui/Button.h"
#include "ui/Edit.h"

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

std::vector<std::unique_ptr<CWnd>> CreateDialogItems(const DialogTemplate& dialogTemplate,
                                                     CWnd* parent,
                                                     const DialogItemColours& colours) {
    std::vector<std::unique_ptr<CWnd>> items;
    for (const DialogItem& item : dialogTemplate.items) {
        RECT r{item.units.left, item.units.top, item.units.left + item.units.right,
               item.units.top + item.units.bottom};
        MapDialogRect(&r);
        const QRect geometry(r.left, r.top, r.right - r.left, r.bottom - r.top);
        const UINT id = static_cast<UINT>(item.id);
        std::unique_ptr<CWnd> wnd;
        switch (item.kind) {
            case DialogItemKind::Static: {
                auto* label = new QLabel(parent->GetWidget());
                // Texts come from the network and the user: never markup.
                label->setTextFormat(Qt::PlainText);
                label->setText(QString::fromStdString(item.text));
                switch (item.style & SS_TYPEMASK) {
                    case SS_CENTER: label->setAlignment(Qt::AlignCenter); break;
                    case SS_RIGHT: label->setAlignment(Qt::AlignRight | Qt::AlignTop); break;
                    default: label->setAlignment(Qt::AlignLeft | Qt::AlignTop); break;
                }
                label->setWordWrap((item.style & SS_TYPEMASK) != SS_LEFTNOWORDWRAP);
                if (colours.staticText.isValid()) {
                    QPalette palette = label->palette();
                    palette.setColor(QPalette::WindowText, colours.staticText);
                    label->setPalette(palette);
                }
                label->setGeometry(geometry);
                wnd = std::make_unique<CWnd>();
                wnd->Attach(label, parent, id);
                break;
            }
            case DialogItemKind::Button: {
                auto button = std::make_unique<CButton>();
                button->Create(item.text, 0, RECT{r.left, r.top, r.right, r.bottom}, parent, id);
                wnd = std::move(button);
                break;
            }
            case DialogItemKind::Edit: {
                if (item.style & ES_MULTILINE) {
                    // Read-only, it reads like a static: the statics' text colour.
                    QWidget* edit =
                        CreateMultiLineEdit(parent->GetWidget(), item.style, colours.staticText);
                    edit->setGeometry(geometry);
                    wnd = std::make_unique<CWnd>();
                    wnd->Attach(edit, parent, id);
                    break;
                }
                auto* edit = new QLineEdit(QString::fromStdString(item.text), parent->GetWidget());
                if (item.style & ES_PASSWORD) {
                    edit->setEchoMode(QLineEdit::Password);
                }
                if (colours.editBackground.isValid()) {
                    QPalette palette = edit->palette();
                    palette.setColor(QPalette::Base, colours.editBackground);
                    edit->setPalette(palette);
                }
                edit->setGeometry(geometry);
                wnd = std::make_unique<CWnd>();
                wnd->Attach(edit, parent, id);
                break;
            }
            case DialogItemKind::Custom:
                wnd = std::make_unique<CWnd>();
                // The control's own style bits go with it; showing comes below.
                wnd->CreateEx(0, "", WS_CHILD | (item.style & ~WS_VISIBLE),
                              RECT{r.left, r.top, r.right, r.bottom}, parent, id);
                break;
        }
        if (item.style & WS_VISIBLE) {
            wnd->ShowWindow(SW_SHOW);
        } else {
            wnd->ShowWindow(SW_HIDE);
        }
        items.push_back(std::move(wnd));
    }
    return items;
}
