#include "InstallFolders.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>

namespace hv::installer {

namespace fs = std::filesystem;

namespace {

constexpr const char* kInstallerName = "Installer";
constexpr const char* kPackageName = "Install.sfe";
constexpr const char* kClientConfigName = "Halvory.ini";

// The download's temporary files, left behind by an interrupted fetch.
bool IsScratch(const std::string& name) {
    return name.starts_with(".hv-") && name.ends_with(".tmp");
}

bool Fail(std::string& error, const std::string& what, const std::error_code& ec) {
    error = what + ": " + ec.message();
    return false;
}

bool CopyPackage(const InstallParameters& parameters, const fs::path& staging, std::string& error) {
    std::error_code ec;
    for (fs::directory_iterator it(parameters.installFolder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name == kInstallerName || name == kPackageName || IsScratch(name)) {
            continue;
        }
        std::error_code copyError;
        fs::copy(it->path(), staging / name,
                 fs::copy_options::recursive | fs::copy_options::copy_symlinks, copyError);
        if (copyError) {
            return Fail(error, "cannot copy " + it->path().string(), copyError);
        }
    }
    if (ec) {
        return Fail(error, "cannot list " + parameters.installFolder.string(), ec);
    }
    const fs::path client = staging / parameters.exePath.lexically_relative(parameters.appDir);
    if (!fs::is_regular_file(client, ec)) {
        error = "the package brings no " + client.filename().string();
        return false;
    }
    return true;
}

bool CarryOldFiles(const InstallParameters& parameters, const fs::path& staging,
                   std::string& error) {
    const std::set<fs::path> userOwned = {
        kClientConfigName, parameters.configFile,
        parameters.dataFile.lexically_relative(parameters.appDir)};
    std::error_code ec;
    fs::recursive_directory_iterator it(parameters.appDir, ec);
    for (const fs::recursive_directory_iterator end{}; !ec && it != end; it.increment(ec)) {
        const fs::path relative = it->path().lexically_relative(parameters.appDir);
        std::error_code statusError;
        const fs::file_status old = it->symlink_status(statusError);
        const fs::file_status there = fs::symlink_status(staging / relative, statusError);
        if (it->path() == parameters.installFolder || relative == kLogFileName) {
            it.disable_recursion_pending();
            continue;
        }
        if (fs::is_directory(old)) {
            if (!fs::exists(there)) {
                std::error_code made;
                fs::create_directory(staging / relative, it->path(), made);
                if (made) {
                    return Fail(error, "cannot create " + (staging / relative).string(), made);
                }
            } else if (!fs::is_directory(there)) {
                it.disable_recursion_pending();  // the package's file takes the name
            }
            continue;
        }
        if (fs::exists(there) && (userOwned.count(relative) == 0 || fs::is_directory(there))) {
            continue;
        }
        std::error_code copyError;
        fs::copy(it->path(), staging / relative,
                 fs::copy_options::copy_symlinks | fs::copy_options::overwrite_existing, copyError);
        if (copyError) {
            return Fail(error, "cannot copy " + it->path().string(), copyError);
        }
    }
    if (ec) {
        return Fail(error, "cannot list " + parameters.appDir.string(), ec);
    }
    return true;
}

}  // namespace

fs::path SiblingOf(const fs::path& appDir, const char* suffix) {
    return appDir.parent_path() / (appDir.filename().string() + suffix);
}

bool StageInstall(const InstallParameters& parameters, const fs::path& staging,
                  std::string& error) {
    std::error_code ec;
    if (!fs::create_directory(staging, parameters.appDir, ec)) {
        return Fail(error, "cannot create " + staging.string(),
                    ec ? ec : std::make_error_code(std::errc::file_exists));
    }
    return CopyPackage(parameters, staging, error) && CarryOldFiles(parameters, staging, error);
}

bool ExchangeFolders(const fs::path& first, const fs::path& second, std::string& error) {
    if (::renameat2(AT_FDCWD, first.c_str(), AT_FDCWD, second.c_str(), RENAME_EXCHANGE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        error = "cannot exchange " + first.string() + " and " + second.string() + ": " +
                std::strerror(errno);
        return false;
    }
    // A file system without the exchange: three renames, each undone on failure.
    const fs::path parked = SiblingOf(first, ".swap");
    std::error_code ec;
    fs::rename(first, parked, ec);
    if (ec) {
        return Fail(error, "cannot rename " + first.string(), ec);
    }
    fs::rename(second, first, ec);
    if (ec) {
        std::error_code undo;
        fs::rename(parked, first, undo);
        return Fail(error, "cannot rename " + second.string(), ec);
    }
    fs::rename(parked, second, ec);
    if (ec) {
        std::error_code undo;
        fs::rename(first, second, undo);
        fs::rename(parked, first, undo);
        return Fail(error, "cannot rename " + parked.string(), ec);
    }
    return true;
}

}  // namespace hv::installer
