// Dialog templates as data: controls placed in dialog units, turned into
// pixels by the one mapping the whole program uses.
#pragma once

#include <string>
#include <vector>

#include "winapi/winuser.h"

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
