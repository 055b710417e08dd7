#include <elf.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "app/ConfigHelper.h"

namespace {

constexpr uint32_t kSignature = 0xFEEF04BD;

std::string VersionOf(const std::string& path) {
    CConfigHelper config;
    config.ReadProductVersion(path);
    return config.GetProductVersion();
}

std::string VersionOfBytes(const std::string& bytes) {
    const int fd = ::memfd_create("module", MFD_CLOEXEC);
    EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    const std::string version = VersionOf("/proc/self/fd/" + std::to_string(fd));
    ::close(fd);
    return version;
}

std::string Stamp(uint32_t signature, uint32_t productMs, uint32_t productLs) {
    const uint32_t words[] = {signature, productMs, productLs};
    return std::string(reinterpret_cast<const char*>(words), sizeof words);
}

// A minimal little-endian ELF file, only the fields the reader uses: the
// header, the sections' bytes, then the section headers: the null one, the
// given sections and the name table.
template <class Ehdr, class Shdr>
struct Elf {
    Elf(unsigned char elfClass, std::vector<std::pair<std::string, std::string>> named) {
        std::memcpy(header.e_ident, ELFMAG, SELFMAG);
        header.e_ident[EI_CLASS] = elfClass;
        header.e_ident[EI_DATA] = ELFDATA2LSB;
        header.e_shentsize = sizeof(Shdr);
        named.emplace_back(".shstrtab", "");
        std::string names(1, '\0');
        sections.resize(1);
        for (const auto& [name, bytes] : named) {
            Shdr section{};
            section.sh_name = static_cast<uint32_t>(names.size());
            section.sh_type = SHT_PROGBITS;
            sections.push_back(section);
            names += name + '\0';
        }
        named.back().second = names;
        sections.back().sh_type = SHT_STRTAB;
        for (size_t i = 0; i < named.size(); ++i) {
            sections[i + 1].sh_offset = sizeof(Ehdr) + contents.size();
            sections[i + 1].sh_size = named[i].second.size();
            contents += named[i].second;
        }
        header.e_shnum = static_cast<uint16_t>(sections.size());
        header.e_shstrndx = static_cast<uint16_t>(sections.size() - 1);
    }

    std::string Bytes() const {
        Ehdr placed = header;
        placed.e_shoff = sizeof(Ehdr) + contents.size();
        std::string bytes(reinterpret_cast<const char*>(&placed), sizeof placed);
        bytes += contents;
        bytes.append(reinterpret_cast<const char*>(sections.data()),
                     sections.size() * sizeof(Shdr));
        return bytes;
    }

    Ehdr header{};
    std::vector<Shdr> sections;
    std::string contents;
};

// Sound stamps in both classes and a refusal or two; damaged files are
// fuzz/fuzz_version_stamp.cpp's business.
template <class Ehdr, class Shdr>
void ExpectStampRules(unsigned char elfClass) {
    SCOPED_TRACE(elfClass == ELFCLASS64 ? "64-bit" : "32-bit");
    const auto version = [elfClass](const std::string& stamp, const char* name = ".hv_version",
                                    bool extended = false) {
        Elf<Ehdr, Shdr> image(elfClass, {{".text", std::string(40, '\x90')}, {name, stamp}});
        // Files with very many sections keep the count and the name table's index in section 0.
        if (extended) {
            image.sections[0].sh_size = image.header.e_shnum;
            image.sections[0].sh_link = image.header.e_shstrndx;
            image.header.e_shnum = 0;
            image.header.e_shstrndx = SHN_XINDEX;
        }
        return VersionOfBytes(image.Bytes());
    };
    const std::string good = Stamp(kSignature, (3u << 16) | 4u, (5u << 16) | 6u);
    EXPECT_EQ(version(good), "3,4,5,6");
    EXPECT_EQ(version(good, ".hv_version", true), "3,4,5,6") << "extended numbering";
    EXPECT_EQ(version(Stamp(kSignature, 0xFFFFFFFF, 0x0100FFFF) + "more"), "65535,65535,256,65535");
    EXPECT_EQ(version(Stamp(kSignature ^ 1, 1, 1)), "") << "signature";
    EXPECT_EQ(version(good, ".hv_versio"), "") << "shorter name";
}

TEST(ProductVersion, StampRulesOfBothElfClasses) {
    ExpectStampRules<Elf32_Ehdr, Elf32_Shdr>(ELFCLASS32);
    ExpectStampRules<Elf64_Ehdr, Elf64_Shdr>(ELFCLASS64);
}

// Files without a stamp leave the version alone.
TEST(ProductVersion, ReadsTheStampsTheBuildWrites) {
    EXPECT_EQ(VersionOf(HV_TEST_CLIENT_EXE), HV_TEST_CLIENT_VERSION);
    CConfigHelper config;
    config.ReadProductVersion(HV_TEST_PROBE_EXE);
    EXPECT_EQ(config.GetProductVersion(), "7,65535,0,42");
    for (const char* path : {"/proc/self/exe", "/nonexistent/module", "/tmp", "/dev/null"}) {
        config.ReadProductVersion(path);
        EXPECT_EQ(config.GetProductVersion(), "7,65535,0,42") << path;
    }
    EXPECT_EQ(VersionOfBytes("FULLSCREEN=1\n"), "");
}

}  // namespace
