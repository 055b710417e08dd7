#include "app/ConfigHelper.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "text/NoCase.h"

namespace {

// Opened read-only and without O_CREAT: other processes may go on reading and
// writing the file, and a missing file is never created.
class ReadOnlyFile {
  public:
    explicit ReadOnlyFile(const std::string& path)
        : m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~ReadOnlyFile() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    // Only regular files count: a directory opens on Linux but is no file.
    bool IsRegular(uint64_t* size = nullptr) const {
        struct stat info {};
        if (m_fd < 0 || ::fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            return false;
        }
        if (size != nullptr) {
            *size = static_cast<uint64_t>(info.st_size);
        }
        return true;
    }
    int Fd() const { return m_fd; }

  private:
    int m_fd;
};

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

constexpr char kStampSection[] = ".hv_version";
constexpr uint32_t kStampSignature = 0xFEEF04BD;
constexpr size_t kStampSize = 12;
// Real executables have a few dozen sections and a short name table; anything
// far beyond this is corrupt and not worth reading into memory.
constexpr uint64_t kMaxTableBytes = 4u << 20;

class FileImage {
  public:
    FileImage(int fd, uint64_t size) : m_fd(fd), m_size(size) {}

    bool Read(uint64_t offset, uint64_t length, void* out) const {
        if (offset > m_size || length > m_size - offset) {
            return false;
        }
        auto* dest = static_cast<unsigned char*>(out);
        while (length > 0) {
            const ssize_t got = ::pread(m_fd, dest, length, static_cast<off_t>(offset));
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                return false;
            }
            dest += got;
            offset += static_cast<uint64_t>(got);
            length -= static_cast<uint64_t>(got);
        }
        return true;
    }
    std::optional<std::vector<unsigned char>> ReadBlock(uint64_t offset, uint64_t length) const {
        if (length > kMaxTableBytes) {
            return std::nullopt;
        }
        std::vector<unsigned char> block(length);
        if (!Read(offset, length, block.data())) {
            return std::nullopt;
        }
        return block;
    }

  private:
    int m_fd;
    uint64_t m_size;
};

uint64_t LittleEndian(const unsigned char* bytes, size_t width) {
    uint64_t value = 0;
    for (size_t i = width; i-- > 0;) {
        value = (value << 8) | bytes[i];
    }
    return value;
}

// Where the fields we need sit in the two ELF classes.
struct ElfLayout {
    size_t headerSize, shoff, shentsize, shnum, shstrndx, addrWidth;
    size_t sectionSize, shType, shOffset, shSize, shLink;
};
constexpr ElfLayout kElf32{52, 32, 46, 48, 50, 4, 40, 4, 16, 20, 24};
constexpr ElfLayout kElf64{64, 40, 58, 60, 62, 8, 64, 4, 24, 32, 40};

struct Section {
    uint32_t name, type, link;
    uint64_t offset, size;
};

std::optional<std::string> ReadVersionStamp(const std::string& path) {
    ReadOnlyFile file(path);
    uint64_t fileSize = 0;
    if (!file.IsRegular(&fileSize)) {
        return std::nullopt;
    }
    const FileImage image(file.Fd(), fileSize);

    std::array<unsigned char, 64> header{};
    if (!image.Read(0, EI_NIDENT, header.data()) ||
        std::memcmp(header.data(), ELFMAG, SELFMAG) != 0 || header[EI_DATA] != ELFDATA2LSB ||
        (header[EI_CLASS] != ELFCLASS32 && header[EI_CLASS] != ELFCLASS64)) {
        return std::nullopt;
    }
    const ElfLayout& elf = header[EI_CLASS] == ELFCLASS64 ? kElf64 : kElf32;
    if (!image.Read(0, elf.headerSize, header.data())) {
        return std::nullopt;
    }
    const uint64_t tableOffset = LittleEndian(&header[elf.shoff], elf.addrWidth);
    const uint64_t entrySize = LittleEndian(&header[elf.shentsize], 2);
    uint64_t count = LittleEndian(&header[elf.shnum], 2);
    uint64_t nameIndex = LittleEndian(&header[elf.shstrndx], 2);
    if (tableOffset == 0 || entrySize < elf.sectionSize || tableOffset > fileSize) {
        return std::nullopt;
    }

    auto readSection = [&](uint64_t index) -> std::optional<Section> {
        std::array<unsigned char, 64> raw{};
        if (!image.Read(tableOffset + index * entrySize, elf.sectionSize, raw.data())) {
            return std::nullopt;
        }
        return Section{static_cast<uint32_t>(LittleEndian(&raw[0], 4)),
                       static_cast<uint32_t>(LittleEndian(&raw[elf.shType], 4)),
                       static_cast<uint32_t>(LittleEndian(&raw[elf.shLink], 4)),
                       LittleEndian(&raw[elf.shOffset], elf.addrWidth),
                       LittleEndian(&raw[elf.shSize], elf.addrWidth)};
    };

    // Files with very many sections keep the real count and name-table index
    // in the first section header.
    if (count == 0 || nameIndex == SHN_XINDEX) {
        const auto first = readSection(0);
        if (!first) {
            return std::nullopt;
        }
        if (count == 0) {
            count = first->size;
        }
        if (nameIndex == SHN_XINDEX) {
            nameIndex = first->link;
        }
    }
    if (count == 0 || count > (fileSize - tableOffset) / entrySize ||
        count * entrySize > kMaxTableBytes || nameIndex >= count) {
        return std::nullopt;
    }

    const auto nameSection = readSection(nameIndex);
    if (!nameSection || nameSection->type == SHT_NOBITS) {
        return std::nullopt;
    }
    const auto names = image.ReadBlock(nameSection->offset, nameSection->size);
    if (!names) {
        return std::nullopt;
    }

    for (uint64_t index = 0; index < count; ++index) {
        const auto section = readSection(index);
        if (!section) {
            return std::nullopt;
        }
        if (section->name >= names->size()) {
            continue;
        }
        const auto* name = reinterpret_cast<const char*>(names->data() + section->name);
        const size_t room = names->size() - section->name;
        if (std::memchr(name, '\0', room) == nullptr || std::strcmp(name, kStampSection) != 0) {
            continue;
        }
        std::array<unsigned char, kStampSize> stamp{};
        if (section->type == SHT_NOBITS || section->size < kStampSize ||
            !image.Read(section->offset, kStampSize, stamp.data()) ||
            LittleEndian(&stamp[0], 4) != kStampSignature) {
            return std::nullopt;
        }
        const auto productMs = static_cast<uint32_t>(LittleEndian(&stamp[4], 4));
        const auto productLs = static_cast<uint32_t>(LittleEndian(&stamp[8], 4));
        return std::to_string(productMs >> 16) + ',' + std::to_string(productMs & 0xFFFF) + ',' +
               std::to_string(productLs >> 16) + ',' + std::to_string(productLs & 0xFFFF);
    }
    return std::nullopt;
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
        }
    }
    return 1;
}

void CConfigHelper::ReadProductVersion(const std::string& modulePath) {
    if (auto version = ReadVersionStamp(modulePath)) {
        m_strProductVersion = std::move(*version);
    }
}

namespace {
const CConfigHelper* g_pConfig = nullptr;
}  // namespace

const CConfigHelper* GetConfig() {
    return g_pConfig;
}
void SetConfig(const CConfigHelper* config) {
    g_pConfig = config;
}
