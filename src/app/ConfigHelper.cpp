#include "app/ConfigHelper.h"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string_view>
#include <utility>

#include "file/ReadOnlyFile.h"
#include "file/VersionStamp.h"
#include "text/NoCase.h"

namespace {

using hv::ReadOnlyFile;

// Lines as a text-mode stream with a 1000-byte getline buffer sees them.
class LineReader {
  public:
    static constexpr size_t kMaxLine = 999;

    explicit LineReader(int fd) : m_fd(fd) {}

    // Returns false when reading stops after this line: at the end of the
    // file, or because the line did not fit and was cut.
    bool ReadLine(std::string& line) {
        line.clear();
        for (;;) {
            const int c = Get();
            if (c < 0) {
                return false;
            }
            if (c == '\n') {
                return true;
            }
            if (line.size() == kMaxLine) {
                return false;
            }
            line.push_back(static_cast<char>(c));
        }
    }

  private:
    // A carriage return directly before a line feed is dropped, as in text mode.
    int Get() {
        const int c = Raw();
        if (c == '\r' && Peek() == '\n') {
            return Raw();
        }
        return c;
    }
    int Raw() {
        const int c = Peek();
        if (c >= 0) {
            ++m_pos;
        }
        return c;
    }
    int Peek() {
        if (m_pos == m_len && !Fill()) {
            return -1;
        }
        return static_cast<unsigned char>(m_buffer[m_pos]);
    }
    bool Fill() {
        for (;;) {
            const ssize_t got = ::read(m_fd, m_buffer.data(), m_buffer.size());
            if (got < 0 && errno == EINTR) {
                continue;
            }
            m_pos = 0;
            m_len = got > 0 ? static_cast<size_t>(got) : 0;
            return m_len > 0;
        }
    }

    int m_fd;
    std::array<char, 16384> m_buffer{};
    size_t m_pos = 0;
    size_t m_len = 0;
};

int32_t ToInt32(const std::string& text) {
    // The client was built where long is 32 bits: out-of-range values saturate there.
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (value > INT32_MAX) {
        return INT32_MAX;
    }
    if (value < INT32_MIN) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(value);
}

}  // namespace

int CConfigHelper::Load(std::string fileName) {
    ReadOnlyFile file(fileName);
    if (!file.IsRegular()) {
        return 0;
    }
    LineReader reader(file.Fd());
    std::string line;
    bool more = true;
    while (more) {
        more = reader.ReadLine(line);
        // The line lived in a C string buffer: an embedded NUL ends it.
        const std::string_view text(line.c_str());
        if (text.empty() || text.front() == ';') {
            continue;
        }
        const size_t equals = text.find('=');
        if (equals == std::string_view::npos || equals + 1 >= text.size()) {
            continue;
        }
        const std::string_view key = text.substr(0, equals);
        const std::string value(text.substr(equals + 1));
        // Checked in this order; the first name that matches takes the value.
        using hv::EqualsNoCase;
        if (EqualsNoCase(key, "ARTDIR")) {
            m_strArtDir = value;
        } else if (EqualsNoCase(key, "ARTURL")) {
            m_strArtUrl = value;
        } else if (EqualsNoCase(key, "FULLSCREEN")) {
            m_nFullScreen = ToInt32(value);
        } else if (EqualsNoCase(key, "SERVERIPADDR_URL")) {
            m_strServerIpAddrUrl = value;
        } else if (EqualsNoCase(key, "SMSADDR_URL")) {
            m_strSmsAddrUrl = value;
        } else if (EqualsNoCase(key, "ERRORINFO_URL")) {
            m_strErrorInfoUrl = value;
        } else if (EqualsNoCase(key, "PLAYERPAGES")) {
            m_strPlayerPages = value;
        } else if (EqualsNoCase(key, "HELP_URL")) {
            m_strHelpUrl = value;
        } else if (EqualsNoCase(key, "PACKAGEKEY")) {
            m_strPackageKey = value;
        } else if (EqualsNoCase(key, "CAFILE")) {
            m_strCaFile = value;
        }
    }
    return 1;
}

void CConfigHelper::ReadProductVersion(const std::string& modulePath) {
    if (auto version = hv::ReadVersionStamp(modulePath)) {
        m_strProductVersion = std::move(*version);
    }
}
