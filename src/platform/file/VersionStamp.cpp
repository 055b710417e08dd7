#include "file/VersionStamp.h"

#include <elf.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

#include "file/ReadOnlyFile.h"

namespace hv {

namespace {

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

}  // namespace

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

}  // namespace hv
