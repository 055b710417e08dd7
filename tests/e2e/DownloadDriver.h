// Plays a user who takes a free demo and watches the download screen, with
// the keyboard only. Three walks: a slow transfer seen through to the end
// with the game played before it is in; a transfer whose connection keeps
// dropping; a transfer cancelled from the screen. A fourth serves the
// download benchmark: it tells when the screen first shows the transfer,
// declines the game and tells when the transfer has ended.
#pragma once

#include <memory>
#include <string>

class CDownloadDriver {
  public:
    enum class Walk { Throttled, Dropping, Cancelled, Bench };
    // "download-throttled", "download-dropping", "download-cancelled" or "download-bench".
    static bool FromScenario(const std::string& scenario, Walk* walk);

    explicit CDownloadDriver(Walk walk);
    ~CDownloadDriver();
    CDownloadDriver(const CDownloadDriver&) = delete;
    CDownloadDriver& operator=(const CDownloadDriver&) = delete;

  private:
    struct State;
    std::unique_ptr<State> m_state;
};
