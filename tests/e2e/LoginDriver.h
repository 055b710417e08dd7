// Plays a user who starts the client without an account on its command line:
// the start-up check behind its wait dialog, then the login screen with real
// keys: a wrong password, a slow login cancelled, and the login itself.
#pragma once

#include <memory>
#include <string>

class CLoginDriver {
  public:
    // The user's name and password, and one password the service refuses.
    CLoginDriver(std::string user, std::string password);
    ~CLoginDriver();
    CLoginDriver(const CLoginDriver&) = delete;
    CLoginDriver& operator=(const CLoginDriver&) = delete;

  private:
    struct State;
    std::unique_ptr<State> m_state;
};
