// Translation of Qt keys into the platform's virtual-key codes and of media
// keys into remote-control application commands.
#pragma once

#include "winapi/winuser.h"

namespace hv {

// 0 when the key has no virtual-key code.
UINT VirtualKeyFromQtKey(int qtKey);
// 0 when the key is not a remote-control command.
int AppCommandFromQtKey(int qtKey);

}  // namespace hv
