// Finding the top-level window of another process by its title and sending
// it a message: the running client publishes its frame under its title on a
// per-user local socket, and a second start sends through that socket.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "winapi/winuser.h"

class QLocalServer;

namespace hv {

class WindowPublication {
  public:
    // Other processes of this user can reach `hwnd` under `title` while this lives.
    WindowPublication(const std::string& title, HWND hwnd);
    ~WindowPublication();
    bool IsListening() const;

  private:
    std::unique_ptr<QLocalServer> m_server;
    HWND m_hwnd;
};

// Sends `message` (wParam 0, lParam 0) to the window published under
// `title` and returns its result; nullopt when no such window answers.
std::optional<LRESULT> SendToPublishedWindow(const std::string& title, UINT message,
                                             int timeoutMs = 5000);

}  // namespace hv
