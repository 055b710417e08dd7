// Game controllers as a second keyboard. A thread of its own reads every
// controller through SDL's game-controller support (controllers may come and
// go while it runs) and turns them into key messages (GamepadKeys.h), which
// reach the window with the keyboard focus along the path a keyboard's keys
// take (SendKeyInput in MessagePump.h): the input hooks and the windows
// cannot tell them apart. While no window of the program is active, as for a
// keyboard, nothing is delivered.
#pragma once

#include <memory>

#include "winapi/Thread.h"

namespace hv {

class Gamepad {
  public:
    Gamepad() = default;
    ~Gamepad();
    Gamepad(const Gamepad&) = delete;
    Gamepad& operator=(const Gamepad&) = delete;

    // On the user-interface thread, once. False when SDL's game-controller
    // support cannot start (the program then simply has no controller).
    bool Start();
    // Ends the thread; called by the destructor too.
    void Stop();

    struct Shared;  // what the thread shares with this object

  private:
    std::shared_ptr<Shared> m_shared;
    Thread m_thread;
    HWND m_hwnd = nullptr;  // the thread's messages arrive here, on this thread
    bool m_sdlStarted = false;
};

}  // namespace hv
