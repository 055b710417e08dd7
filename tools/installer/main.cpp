// The installer the client starts to upgrade itself; see Install.h.
#include <cstdio>
#include <string>

#include "Install.h"
#include "InstallFolders.h"
#include "winapi/LockPath.h"

int main(int argc, char** argv) {
    using namespace hv::installer;
    if (argc != 2) {
        std::fprintf(stderr,
                     "usage: Installer '<app dir>/,<install folder>,<config file>,<executable>,"
                     "<data file>,'\n(paths may not contain commas)\n");
        return kBadParameters;
    }
    std::string error;
    const auto parameters = ParseInstallParameters(argv[1], error);
    if (!parameters) {
        std::fprintf(stderr, "Installer: bad parameters '%s': %s\n", argv[1], error.c_str());
        return kBadParameters;
    }
    const InstallLog log(parameters->appDir / kLogFileName, true);
    InstallSettings settings;
    settings.lockFile = hv::NamedLockPath(kClientInstanceName);
    return RunInstall(*parameters, settings, log);
}
