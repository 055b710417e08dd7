// The platform's plain message box, for the few errors shown before the
// skinned dialogs can be (a missing engine library).
#pragma once

#include "winapi/winuser.h"

int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type);
