// The user's words for the engine's codes.
#pragma once

#include <string>

namespace hv {

// A message and the number shown with it (0: shown without a number).
struct CodeMessage {
    std::string text;  // ready to show, number included
    long number;
};

// Codes of hv_LoginA other than success, cancel and pending.
CodeMessage LoginFailureMessage(int code);
// Reasons of a forced logout.
CodeMessage ForcedLogoutMessage(long reason);
// Codes of hv_DownloadA that end in a message; `engineText` is the
// engine's buffer, shown for its own code.
std::string DownloadFailureMessage(int code, const std::string& engineText);

// "%s (%ld)"
std::string WithNumber(const std::string& text, long number);

}  // namespace hv
