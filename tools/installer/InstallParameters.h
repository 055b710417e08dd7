// The installer's one argument, as the client's upgrade check writes it:
// "<app dir>/,<app dir>/Install,Config.ini,<client executable>,<exe dir>/HVXX.dat,".
// Fields are split on ',', so no path may contain a comma.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace hv::installer {

struct InstallParameters {
    std::filesystem::path appDir;         // absolute, without a trailing '/'
    std::filesystem::path installFolder;  // a folder directly inside appDir
    std::string configFile;               // a file name inside appDir
    std::filesystem::path exePath;        // the client, inside appDir
    std::filesystem::path dataFile;       // inside appDir
};

// Nothing when the text is malformed; `error` then says why.
std::optional<InstallParameters> ParseInstallParameters(std::string_view text, std::string& error);

}  // namespace hv::installer
