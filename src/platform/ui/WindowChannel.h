// Finding the top-level window of another process by its title and sending
// it a message: the running client publishes its frame under its title on a
// per-user local socket, and a second start sends through that socket.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "winapi/winuser.h"

class QLocalServer;

namespace hv {

// A request on the channel: the message number in four bytes, high byte
// first. Its parameters are always 0.
inline constexpr size_t kWindowRequestBytes = 4;

// The message of one request when it is `accepted`, the one message the
// publisher takes; nullopt for anything else. Every process of the user can
// connect, and most of a window's messages are not for them.
std::optional<UINT> DecodeWindowRequest(std::string_view request, UINT accepted);

class WindowPublication {
  public:
    // Other processes of this user can send `hwnd`, published under `title`,
    // the message `accepted` (and no other) while this lives.
    WindowPublication(const std::string& title, HWND hwnd, UINT accepted);
    ~WindowPublication();
    bool IsListening() const;

  private:
    std::unique_ptr<QLocalServer> m_server;
    HWND m_hwnd;
    UINT m_accepted;
};

// Sends `message` (wParam 0, lParam 0) to the window published under
// `title` and returns its result; nullopt when no such window answers or it
// refuses the message.
std::optional<LRESULT> SendToPublishedWindow(const std::string& title, UINT message,
                                             int timeoutMs = 5000);

}  // namespace hv
