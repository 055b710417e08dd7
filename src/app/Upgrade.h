// The upgrade check: when the service requires a newer player, fetch the
// package into the install folder and start the installer from it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "winapi/winapi.h"

namespace hv {

// The required version as the service sends it, cut to 16 bits.
int16_t RequiredVersionNumber(const std::string& requiredVersion);
// The product version "a,b,c,d" read from its end with growing weights of ten
// (1,2,3,4 gives 1234), in 16 bits; without a comma 0.
int16_t ProductVersionNumber(const std::string& productVersion);

// What the installer is told: the application folder, the install folder,
// the configuration file, the executable and the data file beside it, each
// followed by a comma.
std::string InstallerParameters(const std::string& appDir, const std::string& installFolder,
                                const std::string& exePath);

// Starts `installer` with `parameters` as its one argument in `folder`, in a
// session of its own and without waiting for it: it outlives the client it
// replaces. False when it could not be started.
bool StartInstaller(const std::string& installer, const std::string& parameters,
                    const std::string& folder);

// Whether `file` is the package the service signed: the manifest beside its
// address (the address followed by ".manifest") verifies with the public key
// in `keyFile` and describes exactly the file's bytes. Without a key nothing
// is accepted. `why` tells what failed.
bool VerifyPackage(const std::string& address, const std::string& file, const std::string& keyFile,
                   std::string* why);

struct UpgradeRequest {
    std::string upgradeUrl;  // empty: no upgrade offered
    std::string requiredVersion;
    std::string productVersion;
    std::string appDir;  // ends with '/'
    std::string exePath;
};

// Fetches `address` into `targetFile` and unpacks it into `unpackFolder`;
// IDOK when both succeeded.
using RunDownload = std::function<INT_PTR(const std::string& address, const std::string& targetFile,
                                          const std::string& unpackFolder)>;

// 1 when no upgrade is needed or the package did not arrive, 0 when the
// installer has been started (the client closes), -1 when it could not be.
int CheckForUpgrade(const UpgradeRequest& request, const RunDownload& runDownload);

}  // namespace hv
