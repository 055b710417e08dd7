// Plays a user who starts the client without an account on its command line:
// the start-up check behind its wait dialog, then the login screen with real
// keys: a wrong password, a slow login cancelled, and the login itself. Or,
// when the service requires a newer client, the upgrade's download seen
// under way; the client then goes on alone to hand over to the installer.
// Or the upgrade fails: the download cancelled with Escape, a package that
// is not the one the service signed, an installer that cannot start; each
// ends on the login screen.
#pragma once

#include <memory>
#include <string>

class CLoginDriver {
  public:
    enum class Walk { Login, Upgrade, UpgradeCancelled, UpgradeRefused, InstallerMissing };
    // The walk a scenario names; false for none of these.
    static bool FromScenario(const std::string& scenario, Walk* walk);
    CLoginDriver(Walk walk, std::string user, std::string password);
    ~CLoginDriver();
    CLoginDriver(const CLoginDriver&) = delete;
    CLoginDriver& operator=(const CLoginDriver&) = delete;

  private:
    struct State;
    std::unique_ptr<State> m_state;
};
