// One upgrade from start to end: wait for the old client to leave, put the
// new install in place of the old one, start the new client, and go back to
// the old install and client if the new one does not come up.
#pragma once

#include <chrono>
#include <filesystem>

#include "InstallLog.h"
#include "InstallParameters.h"

namespace hv::installer {

// The name under which the client holds its single-instance mutex.
inline constexpr const char* kClientInstanceName = "5C1E7A20-93D4-4b6e-8F0A-2D71E4B9C356";

struct InstallSettings {
    std::filesystem::path lockFile;  // the client's single-instance lock
    std::chrono::milliseconds oldClientExit{30000};
    std::chrono::milliseconds clientStart{20000};
};

// Exit codes; every failure leaves the old install in place.
enum InstallResult : int {
    kInstalled = 0,
    kBadParameters = 2,
    kOldClientStillRuns = 3,
    kStagingFailed = 4,
    kSwapFailed = 5,
    kNewClientFailed = 6,
};

InstallResult RunInstall(const InstallParameters& parameters, const InstallSettings& settings,
                         const InstallLog& log);

}  // namespace hv::installer
