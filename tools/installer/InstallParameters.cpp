#include "InstallParameters.h"

#include <vector>

namespace hv::installer {

namespace {

constexpr size_t kFieldCount = 5;

// Absolute, without "." or ".." steps, and not the root itself: the installer
// renames and removes what these name.
bool IsPlainAbsolute(const std::filesystem::path& path) {
    if (!path.is_absolute() || path.relative_path().empty()) {
        return false;
    }
    for (const auto& part : path.relative_path()) {
        if (part == "." || part == "..") {
            return false;
        }
    }
    return true;
}

// The path without a trailing '/' and without repeated ones.
std::filesystem::path Tidy(const std::filesystem::path& path) {
    std::filesystem::path tidy = path.lexically_normal();
    if (!tidy.has_filename() && tidy.has_parent_path()) {
        tidy = tidy.parent_path();
    }
    return tidy;
}

bool IsInside(const std::filesystem::path& path, const std::filesystem::path& folder) {
    const std::filesystem::path relative = path.lexically_relative(folder);
    return !relative.empty() && *relative.begin() != ".." && relative != ".";
}

}  // namespace

std::optional<InstallParameters> ParseInstallParameters(std::string_view text, std::string& error) {
    if (text.empty() || text.back() != ',') {
        error = "the parameters must end with ','";
        return std::nullopt;
    }
    std::vector<std::string> fields;
    for (size_t start = 0; start < text.size();) {
        const size_t comma = text.find(',', start);
        fields.emplace_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    if (fields.size() != kFieldCount) {
        error = "expected 5 fields each followed by ',' (paths may not contain commas), got " +
                std::to_string(fields.size());
        return std::nullopt;
    }
    static constexpr const char* kNames[kFieldCount] = {
        "application folder", "install folder", "configuration file", "executable", "data file"};
    for (size_t i = 0; i < kFieldCount; ++i) {
        if (fields[i].empty()) {
            error = std::string("the ") + kNames[i] + " is empty";
            return std::nullopt;
        }
        if (i != 2 && !IsPlainAbsolute(fields[i])) {
            error = std::string("the ") + kNames[i] + " '" + fields[i] +
                    "' is not an absolute path without '.' or '..' steps";
            return std::nullopt;
        }
    }
    InstallParameters parameters{Tidy(fields[0]), Tidy(fields[1]), fields[2], Tidy(fields[3]),
                                 Tidy(fields[4])};
    if (parameters.installFolder.parent_path() != parameters.appDir) {
        error = "the install folder must lie directly inside the application folder";
        return std::nullopt;
    }
    if (parameters.configFile.find('/') != std::string::npos || parameters.configFile == "." ||
        parameters.configFile == "..") {
        error = "the configuration file must be a file name";
        return std::nullopt;
    }
    if (!IsInside(parameters.exePath, parameters.appDir) ||
        IsInside(parameters.exePath, parameters.installFolder) || fields[3].back() == '/') {
        error = "the executable must lie in the application folder, outside the install folder";
        return std::nullopt;
    }
    if (!IsInside(parameters.dataFile, parameters.appDir) ||
        IsInside(parameters.dataFile, parameters.installFolder)) {
        error = "the data file must lie in the application folder, outside the install folder";
        return std::nullopt;
    }
    return parameters;
}

}  // namespace hv::installer
