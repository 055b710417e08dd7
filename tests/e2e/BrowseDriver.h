// Plays a user who browses the catalogue with the keyboard only: into the
// games screen, pages turned, a category chosen, a game opened, its free demo
// taken, played and deleted, the game bought, played and deleted. With a
// gamepad, the same walk on a virtual game controller instead of the keys.
#pragma once

#include <memory>

class CBrowseDriver {
  public:
    explicit CBrowseDriver(bool gamepad);
    ~CBrowseDriver();
    CBrowseDriver(const CBrowseDriver&) = delete;
    CBrowseDriver& operator=(const CBrowseDriver&) = delete;

  private:
    struct State;
    std::unique_ptr<State> m_state;
};
