#include "app/CommandLine.h"

#include <cstring>

namespace hv {

std::optional<Credentials> ParseCredentials(std::string text) {
    const size_t start = text.find_first_not_of(' ');
    if (start == std::string::npos || text[start] != '/') {
        return std::nullopt;
    }
    // The "/" and the option letter, which is not examined.
    text.erase(0, std::min(text.size(), start + 2));
    const size_t separator = text.find("//");
    if (separator == std::string::npos) {
        return std::nullopt;
    }
    return Credentials{text.substr(0, separator), text.substr(separator + 2)};
}

std::string JoinArguments(int argc, char** argv) {
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) {
            text += ' ';
        }
        text += argv[i];
    }
    return text;
}

void HidePassword(int argc, char** argv) {
    const std::string text = JoinArguments(argc, argv);
    const size_t start = text.find_first_not_of(' ');
    if (start == std::string::npos || text[start] != '/') {
        return;
    }
    const size_t separator = text.find("//", std::min(text.size(), start + 2));
    if (separator == std::string::npos) {
        return;
    }
    // Walk the arguments with the same offsets the joined text has.
    size_t offset = 0;
    for (int i = 1; i < argc; ++i) {
        const size_t length = std::strlen(argv[i]);
        const size_t from = separator + 2 > offset ? separator + 2 - offset : 0;
        if (from < length) {
            std::memset(argv[i] + from, '*', length - from);
        }
        offset += length + 1;
    }
}

}  // namespace hv
