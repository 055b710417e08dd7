// Plays a user who reads the service's pages: with real keys (xdotool) and
// one mouse click on the real client, engine, service and web view.
#pragma once

#include <memory>

class CPagesDriver {
  public:
    CPagesDriver();
    ~CPagesDriver();
    CPagesDriver(const CPagesDriver&) = delete;
    CPagesDriver& operator=(const CPagesDriver&) = delete;

  private:
    struct State;
    std::unique_ptr<State> m_state;
};
