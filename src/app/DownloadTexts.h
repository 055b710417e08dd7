// The upgrade download dialog's window-free parts: its texts, the transfer
// statistics it shows after each block, and the reading of its address.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "winapi/winapi.h"

namespace hv {

// The dialog's string resources, by their ids.
enum DownloadString : int {
    IDS_DL_CONNECTED = 103,
    IDS_DL_RESOLVING = 104,
    IDS_DL_RESOLVED = 105,
    IDS_DL_CONNECTING = 106,
    IDS_DL_REDIRECTING = 107,
    IDS_DL_FILE_INFO = 108,
    IDS_DL_SESSION_ERROR = 110,
    IDS_DL_CONNECT_ERROR = 111,
    IDS_DL_NO_RESPONSE = 112,
    IDS_DL_BAD_STATUS = 113,
    IDS_DL_READ_ERROR = 114,
    IDS_DL_PERCENT_CAPTION = 115,
    IDS_DL_RETRIEVING = 116,
    IDS_DL_DONE_OF_TOTAL = 117,
    IDS_DL_SECONDS = 118,
    IDS_DL_MINUTES = 119,
    IDS_DL_MINUTES_SECONDS = 120,
    IDS_DL_BYTES = 121,
    IDS_DL_KB = 123,
    IDS_DL_MB = 125,
    IDS_DL_TIME_LEFT = 127,
    IDS_DL_BYTES_PER_SEC = 129,
    IDS_DL_KB_PER_SEC = 130,
    IDS_DL_FILE_ERROR = 132,
    IDS_DL_ABORTING = 133,
};

// The string's text with "%1" and "%2" replaced; empty for an unknown id.
std::string FormatDownloadString(int id, const std::string& first = {},
                                 const std::string& second = {});
// An error text: the string with the decimal code as its "%1".
std::string DownloadErrorText(int id, long code);

// "512 Bytes", "1.0 KB", "1.00 MB".
std::string FormatSize(int64_t bytes);
// "59 sec", "1 min", "1 min 5 sec".
std::string FormatTimeLeft(DWORD seconds);
// A rate in bytes per millisecond, as shown in the rate line.
std::string FormatRate(double bytesPerMs);

// What the statistics remember between blocks.
struct TransferStats {
    std::optional<int64_t> length;  // the Content-Length, when the server sent one
    DWORD start = 0;
    DWORD lastUpdate = 0;
    int64_t lastCounted = 0;
    int lastPercent = -1;
};

// What one block changes on screen; unset parts stay as they are.
struct StatsUpdate {
    std::optional<int> percent;
    std::optional<std::string> caption;
    std::optional<std::string> rate;
    std::optional<std::string> timeLeft;
};

// Starts the statistics at `now` for a body of `length` bytes, when known.
TransferStats StartTransferStats(DWORD now, std::optional<int64_t> length);
// After each block: `done` bytes received so far at tick count `now`.
StatsUpdate UpdateTransferStats(TransferStats* stats, DWORD now, int64_t done,
                                const std::string& fileName);

struct DownloadAddress {
    std::string scheme;  // "http" or "https", lower case
    std::string server;
    std::string object;  // from the first "/" on; "/" when the address has none
    uint16_t port = 0;
};

// Reads "scheme://server[:port][/object]"; false when that is not what it is.
bool ParseDownloadAddress(const std::string& address, DownloadAddress* parsed);
// The address again, as libcurl is given it.
std::string JoinDownloadAddress(const DownloadAddress& address);
// The object after its last "/" (or "\" when it has no "/"), or all of it.
std::string ObjectFileName(const std::string& object);

}  // namespace hv
