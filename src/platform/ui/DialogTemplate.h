// Dialog templates as data: controls placed in dialog units, turned into
// pixels by the one mapping the whole program uses.
#pragma once

#include <QColor>
#include <memory>
#include <string>
#include <vector>

#include "winapi/winuser.h"

class CWnd;

enum class DialogItemKind { Static, Button, Edit, Custom };

struct DialogItem {
    int id;
    DialogItemKind kind;
    std::string text;
    RECT units;  // left, top, width, height in dialog units
    DWORD style;
};

struct DialogTemplate {
    UINT id;
    int width;  // dialog units
    int height;
    DWORD style;
    std::vector<DialogItem> items;
};

// Dialog units to pixels for the program's dialog font: a horizontal unit is
// a quarter, a vertical unit an eighth of the font's average character cell.
int DialogUnitsToPixelsX(int units);
int DialogUnitsToPixelsY(int units);
// In place; the rectangle is (left, top, right, bottom) in dialog units.
void MapDialogRect(RECT* rect);

// Templates are registered by the resource tables at start-up.
void RegisterDialogTemplate(const DialogTemplate& dialogTemplate);
const DialogTemplate* FindDialogTemplate(UINT id);

// The colours a window gives its template's standard controls; an invalid
// colour leaves Qt's. Statics never fill their background.
struct DialogItemColours {
    QColor staticText;
    QColor editBackground;
};

// Creates the template's controls as children of `parent`, in pixels, shown
// when their style says so.
std::vector<std::unique_ptr<CWnd>> CreateDialogItems(const DialogTemplate& dialogTemplate,
                                                     CWnd* parent,
                                                     const DialogItemColours& colours);
