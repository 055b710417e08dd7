#include "app/DownloadTexts.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <map>

namespace hv {

namespace {

constexpr DWORD kRateIntervalMs = 1000;
constexpr int64_t kKilobyte = 1024;
constexpr int64_t kMegabyte = 1024 * 1024;

const std::map<int, const char*>& Strings() {
    static const std::map<int, const char*> strings = {
        {IDS_DL_CONNECTED, "Connected to %1"},
        {IDS_DL_RESOLVING, "Resolving name: %1"},
        {IDS_DL_RESOLVED, "Resolved name to %1"},
        {IDS_DL_CONNECTING, "Connecting to %1"},
        {IDS_DL_REDIRECTING, "Redirecting to %1"},
        {IDS_DL_FILE_INFO, "Getting file information"},
        {IDS_DL_SESSION_ERROR, "An error occurred while attempting to download the file, Error:%1"},
        {IDS_DL_CONNECT_ERROR, "An error occurred connecting to the server, Error:%1"},
        {IDS_DL_NO_RESPONSE, "Failed to receive a valid response from the server"},
        {IDS_DL_BAD_STATUS, "Failed to receive a valid HTTP response from the server"},
        {IDS_DL_READ_ERROR, "An error occurred while downloading the file, Error:%1"},
        {IDS_DL_PERCENT_CAPTION, "%1% of %2 Completed"},
        {IDS_DL_RETRIEVING, "Retrieving the file"},
        {IDS_DL_DONE_OF_TOTAL, "%1 of %2"},
        {IDS_DL_SECONDS, "%1 sec"},
        {IDS_DL_MINUTES, "%1 min"},
        {IDS_DL_MINUTES_SECONDS, "%1 min %2 sec"},
        {IDS_DL_BYTES, "%1 Bytes"},
        {IDS_DL_KB, "%1 KB"},
        {IDS_DL_MB, "%1 MB"},
        {IDS_DL_TIME_LEFT, "%1 (%2 copied)"},
        {IDS_DL_BYTES_PER_SEC, "%1 Bytes/Sec"},
        {IDS_DL_KB_PER_SEC, "%1 KB/Sec"},
        {IDS_DL_FILE_ERROR, "An error occured while opening the file to be downloaded, Error:%1"},
        {IDS_DL_ABORTING, "Aborting transfer"},
    };
    return strings;
}

std::string Printf(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

bool ParsePort(const std::string& text, uint16_t* port) {
    unsigned value = 0;
    const char* end = text.data() + text.size();
    const auto [next, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || next != end || value == 0 || value > 65535) {
        return false;
    }
    *port = static_cast<uint16_t>(value);
    return true;
}

}  // namespace

std::string FormatDownloadString(int id, const std::string& first, const std::string& second) {
    const auto it = Strings().find(id);
    if (it == Strings().end()) {
        return {};
    }
    // One pass, so a "%2" inside the first argument stays as written.
    std::string text;
    for (const char* c = it->second; *c != '\0'; ++c) {
        if (c[0] == '%' && (c[1] == '1' || c[1] == '2')) {
            text += c[1] == '1' ? first : second;
            ++c;
        } else {
            text += *c;
        }
    }
    return text;
}

std::string DownloadErrorText(int id, long code) {
    return FormatDownloadString(id, std::to_string(code));
}

std::string FormatSize(int64_t bytes) {
    if (bytes < kKilobyte) {
        return FormatDownloadString(IDS_DL_BYTES, std::to_string(bytes));
    }
    if (bytes < kMegabyte) {
        return FormatDownloadString(IDS_DL_KB, Printf("%0.1f", static_cast<double>(bytes) /
                                                                   static_cast<double>(kKilobyte)));
    }
    return FormatDownloadString(
        IDS_DL_MB, Printf("%0.2f", static_cast<double>(bytes) / static_cast<double>(kMegabyte)));
}

std::string FormatTimeLeft(DWORD seconds) {
    if (seconds < 60) {
        return FormatDownloadString(IDS_DL_SECONDS, std::to_string(seconds));
    }
    const std::string minutes = std::to_string(seconds / 60);
    if (seconds % 60 == 0) {
        return FormatDownloadString(IDS_DL_MINUTES, minutes);
    }
    return FormatDownloadString(IDS_DL_MINUTES_SECONDS, minutes, std::to_string(seconds % 60));
}

std::string FormatRate(double bytesPerMs) {
    if (bytesPerMs < 1) {
        return FormatDownloadString(IDS_DL_BYTES_PER_SEC, Printf("%0.0f", bytesPerMs * 1024));
    }
    return FormatDownloadString(IDS_DL_KB_PER_SEC,
                                Printf(bytesPerMs < 10 ? "%0.2f" : "%0.0f", bytesPerMs));
}

TransferStats StartTransferStats(DWORD now, std::optional<int64_t> length) {
    TransferStats stats;
    stats.length = length;
    stats.start = now;
    stats.lastUpdate = now;
    return stats;
}

StatsUpdate UpdateTransferStats(TransferStats* stats, DWORD now, int64_t done,
                                const std::string& fileName) {
    StatsUpdate update;
    const bool lengthKnown = stats->length.has_value() && *stats->length > 0;
    if (lengthKnown) {
        const int percent = static_cast<int>(done * 100 / *stats->length);
        if (percent != stats->lastPercent) {
            stats->lastPercent = percent;
            update.percent = percent;
            update.caption =
                FormatDownloadString(IDS_DL_PERCENT_CAPTION, std::to_string(percent), fileName);
        }
    }
    // Unsigned differences stay right across a wrap of the tick count.
    const DWORD elapsed = now - stats->lastUpdate;
    if (elapsed <= kRateIntervalMs) {
        return update;
    }
    update.rate = FormatRate(static_cast<double>(done - stats->lastCounted) / elapsed);
    stats->lastUpdate = now;
    stats->lastCounted = done;
    if (lengthKnown && done > 0) {
        const double msPerByte =
            static_cast<double>(now - stats->start) / static_cast<double>(done);
        const int64_t left = std::max<int64_t>(*stats->length - done, 0);
        const auto seconds = static_cast<DWORD>(msPerByte * static_cast<double>(left) / 1000);
        update.timeLeft =
            FormatDownloadString(IDS_DL_TIME_LEFT, FormatTimeLeft(seconds),
                                 FormatDownloadString(IDS_DL_DONE_OF_TOTAL, FormatSize(done),
                                                      FormatSize(*stats->length)));
    }
    return update;
}

bool ParseDownloadAddress(const std::string& address, DownloadAddress* parsed) {
    const size_t schemeEnd = address.find("://");
    if (schemeEnd == std::string::npos) {
        return false;
    }
    DownloadAddress result;
    result.scheme = address.substr(0, schemeEnd);
    std::transform(result.scheme.begin(), result.scheme.end(), result.scheme.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (result.scheme == "http") {
        result.port = 80;
    } else if (result.scheme == "https") {
        result.port = 443;
    } else {
        return false;
    }
    const size_t hostStart = schemeEnd + 3;
    const size_t objectStart = address.find('/', hostStart);
    const std::string host = address.substr(
        hostStart, objectStart == std::string::npos ? std::string::npos : objectStart - hostStart);
    result.object = objectStart == std::string::npos ? "/" : address.substr(objectStart);
    // An IPv6 address keeps its colons inside the brackets.
    const size_t bracket = host.rfind(']');
    const size_t colon = host.rfind(':');
    if (colon != std::string::npos && (bracket == std::string::npos || colon > bracket)) {
        result.server = host.substr(0, colon);
        if (!ParsePort(host.substr(colon + 1), &result.port)) {
            return false;
        }
    } else {
        result.server = host;
    }
    const bool allowed = std::none_of(result.server.begin(), result.server.end(), [](char c) {
        return c == '@' || c == '\\' || std::isspace(static_cast<unsigned char>(c));
    });
    if (result.server.empty() || !allowed) {
        return false;
    }
    *parsed = std::move(result);
    return true;
}

std::string JoinDownloadAddress(const DownloadAddress& address) {
    return address.scheme + "://" + address.server + ":" + std::to_string(address.port) +
           address.object;
}

std::string ObjectFileName(const std::string& object) {
    size_t slash = object.rfind('/');
    if (slash == std::string::npos) {
        slash = object.rfind('\\');
    }
    return slash == std::string::npos ? object : object.substr(slash + 1);
}

}  // namespace hv
