#include "app/Upgrade.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>

#include "app/Discovery.h"
#include "trust/PackageManifest.h"
#include "winapi/winuser.h"

namespace hv {

namespace {

constexpr const char* kInstallFolder = "Install";
constexpr const char* kPackageFile = "Install.sfe";
constexpr const char* kInstallerFile = "Installer";
constexpr const char* kConfigFile = "Config.ini";
constexpr const char* kDataFile = "HVXX.dat";
// A manifest lists about 72 bytes per MiB of package.
constexpr size_t kMaxManifestBytes = 4 << 20;
constexpr size_t kMaxKeyBytes = 16 << 10;

// atoi as the platform has it, without its undefined overflow.
int AtoI(const std::string& text) {
    return static_cast<int>(std::strtol(text.c_str(), nullptr, 10));
}

bool FolderExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Each missing folder on the way, then the whole path; the first failure
// ends the walk.
void CreateFolderPath(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (!FolderExists(part) && ::mkdir(part.c_str(), 0755) != 0) {
            return;
        }
    }
    if (!FolderExists(path)) {
        ::mkdir(path.c_str(), 0755);
    }
}

// Between fork and exec only async-signal-safe calls: the client has threads.
[[noreturn]] void ReportAndExit(int fd, int error) {
    [[maybe_unused]] const ssize_t written = ::write(fd, &error, sizeof error);
    ::_exit(127);
}

}  // namespace

int16_t RequiredVersionNumber(const std::string& requiredVersion) {
    return static_cast<int16_t>(AtoI(requiredVersion));
}

int16_t ProductVersionNumber(const std::string& productVersion) {
    std::string text = productVersion;
    int16_t current = 0;
    int16_t weight = 1;
    for (size_t comma = text.rfind(','); comma != std::string::npos; comma = text.rfind(',')) {
        current = static_cast<int16_t>(current + int64_t{AtoI(text.substr(comma + 1))} * weight);
        text.resize(comma);
        weight = static_cast<int16_t>(weight * 10);
        if (text.size() == 1) {
            current = static_cast<int16_t>(current + int64_t{AtoI(text)} * weight);
        }
    }
    return current;
}

std::string InstallerParameters(const std::string& appDir, const std::string& installFolder,
                                const std::string& exePath) {
    const std::string exeDir = exePath.substr(0, exePath.find_last_of('/') + 1);
    std::string parameters;
    for (const std::string& part :
         {appDir, installFolder, std::string(kConfigFile), exePath, exeDir + kDataFile}) {
        parameters += part + ",";
    }
    return parameters;
}

bool VerifyPackage(const std::string& address, const std::string& file, const std::string& keyFile,
                   std::string* why) {
    const auto fail = [why](std::string reason) {
        *why = std::move(reason);
        return false;
    };
    if (keyFile.empty()) {
        return fail("no package key is configured");
    }
    std::ifstream in(keyFile, std::ios::binary);
    std::string key(kMaxKeyBytes, '\0');
    in.read(key.data(), static_cast<std::streamsize>(key.size()));
    key.resize(static_cast<size_t>(in.gcount()));
    if (key.empty()) {
        return fail("cannot read the package key " + keyFile);
    }
    std::string text;
    if (FetchUrlText(address + ".manifest", &text, kMaxManifestBytes) != 1) {
        return fail("cannot fetch the manifest of " + address);
    }
    std::string error;
    const auto manifest = OpenManifest(text, key, &error);
    if (!manifest) {
        return fail("the manifest of " + address + " is refused: " + error);
    }
    if (!FileMatches(*manifest, file)) {
        return fail(file + " does not match its manifest");
    }
    return true;
}

bool StartInstaller(const std::string& installer, const std::string& parameters,
                    const std::string& folder) {
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        return false;
    }
    std::string program = installer;
    std::string argument = parameters;
    char* argv[] = {program.data(), argument.data(), nullptr};
    // A child that forks the installer and leaves at once: the installer is
    // nobody's zombie and lives on when the client closes. The pipe closes
    // on a successful exec; an error number on it says what failed.
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(report[0]);
        const pid_t installerPid = ::fork();
        if (installerPid < 0) {
            ReportAndExit(report[1], errno);
        }
        if (installerPid == 0) {
            ::setsid();
            // The installer must not keep the client's files open, above all
            // the lock that says a client runs.
            ::close_range(3, UINT_MAX, CLOSE_RANGE_CLOEXEC);
            if (::chdir(folder.c_str()) != 0) {
                ReportAndExit(report[1], errno);
            }
            ::execv(program.c_str(), argv);
            ReportAndExit(report[1], errno);
        }
        ::_exit(0);
    }
    ::close(report[1]);
    if (child < 0) {
        ::close(report[0]);
        return false;
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t got = 0;
    while ((got = ::read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    return got == 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int CheckForUpgrade(const UpgradeRequest& request, const RunDownload& runDownload) {
    if (request.upgradeUrl.empty()) {
        return 1;
    }
    if (RequiredVersionNumber(request.requiredVersion) <=
        ProductVersionNumber(request.productVersion)) {
        return 1;
    }
    const std::string installFolder = request.appDir + kInstallFolder;
    CreateFolderPath(installFolder);
    if (runDownload(request.upgradeUrl, installFolder + "/" + kPackageFile, installFolder) !=
        IDOK) {
        return 1;
    }
    const std::string installer = installFolder + "/" + kInstallerFile;
    const std::string parameters =
        InstallerParameters(request.appDir, installFolder, request.exePath);
    return StartInstaller(installer, parameters, installFolder) ? 0 : -1;
}

}  // namespace hv
