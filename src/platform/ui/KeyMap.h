// Translation of Qt keys into the platform's virtual-key codes, of media
// keys into remote-control application commands and of mouse events into
// mouse messages.
#pragma once

#include <QEvent>

#include "winapi/winuser.h"

namespace hv {

// 0 when the key has no virtual-key code.
UINT VirtualKeyFromQtKey(int qtKey);
// The Qt key of a virtual-key code; 0 when there is none.
int QtKeyFromVirtualKey(UINT virtualKey);
// 0 when the key is not a remote-control command.
int AppCommandFromQtKey(int qtKey);
// The Qt key of a remote-control command; 0 when there is none.
int QtKeyFromAppCommand(int command);
// WM_MOUSEMOVE, or the button message of that press, release or double click.
UINT MouseMessageFromQt(QEvent::Type type, Qt::MouseButton button);

}  // namespace hv
