#include "Install.h"

#include <string>

#include "InstallFolders.h"
#include "Processes.h"

namespace hv::installer {

namespace fs = std::filesystem;

namespace {

const char* Describe(StartOutcome outcome) {
    switch (outcome) {
        case StartOutcome::Running: return "is running";
        case StartOutcome::Exited: return "ended before it took its instance lock";
        case StartOutcome::TimedOut: return "did not take its instance lock in time";
    }
    return "";
}

// Starts the client and waits until it holds its instance lock.
bool StartClient(const InstallParameters& parameters, const InstallSettings& settings,
                 const InstallLog& log) {
    const pid_t pid = StartDetached(parameters.exePath, parameters.appDir);
    if (pid < 0) {
        log.Line("cannot start %s", parameters.exePath.c_str());
        return false;
    }
    const StartOutcome outcome = WaitUntilHoldingLock(pid, settings.lockFile, settings.clientStart);
    log.Line("client %d %s", static_cast<int>(pid), Describe(outcome));
    if (outcome == StartOutcome::TimedOut) {
        StopChild(pid);
    }
    return outcome == StartOutcome::Running;
}

// After the folders traded places the log at the application folder's path
// is the other install's; the lines of this run are in the one just moved out.
void FollowLog(const fs::path& movedOut, const InstallLog& log) {
    std::error_code ec;
    fs::copy_file(movedOut / kLogFileName, log.File(), fs::copy_options::overwrite_existing, ec);
}

void RemoveFolder(const fs::path& folder, const InstallLog& log) {
    std::error_code ec;
    fs::remove_all(folder, ec);
    if (ec) {
        log.Line("cannot remove %s: %s", folder.c_str(), ec.message().c_str());
    }
}

}  // namespace

InstallResult RunInstall(const InstallParameters& parameters, const InstallSettings& settings,
                         const InstallLog& log) {
    log.Line("upgrading %s from %s", parameters.appDir.c_str(), parameters.installFolder.c_str());
    if (!WaitUntilExecutableGone(parameters.exePath, settings.oldClientExit)) {
        log.Line("%s still runs; nothing changed", parameters.exePath.c_str());
        return kOldClientStillRuns;
    }
    const fs::path staging = SiblingOf(parameters.appDir, ".new");
    const fs::path old = SiblingOf(parameters.appDir, ".old");
    // Leftovers of an earlier attempt that did not finish.
    RemoveFolder(staging, log);
    RemoveFolder(old, log);
    std::string error;
    if (!StageInstall(parameters, staging, error)) {
        log.Line("cannot assemble the new install: %s", error.c_str());
        RemoveFolder(staging, log);
        StartClient(parameters, settings, log);
        return kStagingFailed;
    }
    if (!ExchangeFolders(parameters.appDir, staging, error)) {
        log.Line("%s", error.c_str());
        RemoveFolder(staging, log);
        StartClient(parameters, settings, log);
        return kSwapFailed;
    }
    FollowLog(staging, log);
    std::error_code ec;
    fs::rename(staging, old, ec);
    const fs::path& previous = ec ? staging : old;
    log.Line("new install in place; the old one is in %s", previous.c_str());
    if (StartClient(parameters, settings, log)) {
        RemoveFolder(previous, log);
        log.Line("upgrade done");
        return kInstalled;
    }
    if (!ExchangeFolders(parameters.appDir, previous, error)) {
        log.Line("cannot put the old install back: %s", error.c_str());
        return kNewClientFailed;
    }
    FollowLog(previous, log);
    log.Line("old install back in place");
    RemoveFolder(previous, log);
    StartClient(parameters, settings, log);
    return kNewClientFailed;
}

}  // namespace hv::installer
