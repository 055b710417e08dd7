#include <elf.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/ConfigHelper.h"

namespace {

std::string VersionOf(const std::string& path) {
    CConfigHelper config;
    config.ReadProductVersion(path);
    return config.GetProductVersion();
}

void Put(std::string& bytes, size_t offset, uint64_t value, size_t width) {
    for (size_t i = 0; i < width; ++i) {
        bytes.at(offset + i) = static_cast<char>(value >> (8 * i));
    }
}

uint64_t Get(const std::string& bytes, size_t offset, size_t width) {
    uint64_t value = 0;
    for (size_t i = width; i-- > 0;) {
        value = (value << 8) | static_cast<unsigned char>(bytes.at(offset + i));
    }
    return value;
}

std::string Stamp(uint32_t signature, uint32_t productMs, uint32_t productLs) {
    std::string data(12, '\0');
    Put(data, 0, signature, 4);
    Put(data, 4, productMs, 4);
    Put(data, 8, productLs, 4);
    return data;
}

struct FakeSection {
    std::string name;
    uint32_t type;
    std::string data;
};

// A minimal little-endian ELF file: a null section, the given sections, then
// the section name table, with the section headers at the end.
struct ElfImage {
    bool is64;
    std::string bytes;
    size_t shoff = 0;
    size_t namesIndex = 0;

    size_t EntrySize() const { return is64 ? 64 : 40; }
    size_t Header(size_t field64, size_t field32) const { return is64 ? field64 : field32; }
    size_t Section(size_t index, size_t field64, size_t field32) const {
        return shoff + index * EntrySize() + Header(field64, field32);
    }
    size_t Width() const { return is64 ? 8 : 4; }
    // Offsets of the fields that the tests corrupt.
    size_t ShOff() const { return Header(40, 32); }
    size_t ShNum() const { return Header(60, 48); }
    size_t ShEntSize() const { return Header(58, 46); }
    size_t ShStrNdx() const { return Header(62, 50); }
    size_t SectionName(size_t i) const { return Section(i, 0, 0); }
    size_t SectionType(size_t i) const { return Section(i, 4, 4); }
    size_t SectionOffset(size_t i) const { return Section(i, 24, 16); }
    size_t SectionSize(size_t i) const { return Section(i, 32, 20); }
    size_t SectionLink(size_t i) const { return Section(i, 40, 24); }
};

ElfImage BuildElf(bool is64, const std::vector<FakeSection>& sections) {
    ElfImage image{is64, std::string(is64 ? 64 : 52, '\0')};
    std::string& bytes = image.bytes;
    std::memcpy(bytes.data(), ELFMAG, SELFMAG);
    bytes[EI_CLASS] = is64 ? ELFCLASS64 : ELFCLASS32;
    bytes[EI_DATA] = ELFDATA2LSB;
    bytes[EI_VERSION] = EV_CURRENT;
    Put(bytes, 16, ET_EXEC, 2);
    Put(bytes, 18, is64 ? EM_X86_64 : EM_386, 2);
    Put(bytes, 20, EV_CURRENT, 4);
    Put(bytes, image.Header(52, 40), bytes.size(), 2);

    std::string names(1, '\0');
    names += ".shstrtab";
    names += '\0';
    std::vector<size_t> nameOffsets, dataOffsets;
    for (const auto& section : sections) {
        nameOffsets.push_back(names.size());
        names += section.name;
        names += '\0';
        bytes.resize((bytes.size() + 7) & ~size_t{7});
        dataOffsets.push_back(bytes.size());
        bytes += section.data;
    }
    const size_t namesOffset = bytes.size();
    bytes += names;
    bytes.resize((bytes.size() + 7) & ~size_t{7});

    image.shoff = bytes.size();
    image.namesIndex = sections.size() + 1;
    const size_t count = sections.size() + 2;
    bytes.resize(bytes.size() + count * image.EntrySize());
    auto describe = [&](size_t index, size_t name, uint32_t type, size_t offset, size_t size) {
        Put(bytes, image.SectionName(index), name, 4);
        Put(bytes, image.SectionType(index), type, 4);
        Put(bytes, image.SectionOffset(index), offset, image.Width());
        Put(bytes, image.SectionSize(index), size, image.Width());
    };
    for (size_t i = 0; i < sections.size(); ++i) {
        describe(i + 1, nameOffsets[i], sections[i].type, dataOffsets[i], sections[i].data.size());
    }
    describe(image.namesIndex, 1, SHT_STRTAB, namesOffset, names.size());

    Put(bytes, image.ShOff(), image.shoff, image.Width());
    Put(bytes, image.ShEntSize(), image.EntrySize(), 2);
    Put(bytes, image.ShNum(), count, 2);
    Put(bytes, image.ShStrNdx(), image.namesIndex, 2);
    return image;
}

constexpr size_t kStampIndex = 3;

// Code and data first, the stamp last so that its name ends the name table.
ElfImage StampedElf(bool is64) {
    return BuildElf(
        is64, {{".text", SHT_PROGBITS, std::string(40, '\x90')},
               {".data", SHT_PROGBITS, "abc"},
               {".hv_version", SHT_PROGBITS, Stamp(0xFEEF04BD, (3u << 16) | 4u, (5u << 16) | 6u)}});
}

class ProductVersionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "hv-version-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    std::string Write(const std::string& bytes, const std::string& name = "module") {
        const auto path = (m_dir / name).string();
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
        return path;
    }
    std::string VersionOfBytes(const std::string& bytes) { return VersionOf(Write(bytes)); }

    std::filesystem::path m_dir;
};

TEST_F(ProductVersionTest, ReadsTheVersionTheBuildStampedIntoTheClient) {
    EXPECT_EQ(VersionOf(HV_TEST_CLIENT_EXE), HV_TEST_CLIENT_VERSION);
}

TEST_F(ProductVersionTest, ReadsEveryComponentOfAnotherStamp) {
    EXPECT_EQ(VersionOf(HV_TEST_PROBE_EXE), "7,65535,0,42");
}

TEST_F(ProductVersionTest, FilesWithoutStampLeaveTheVersionEmpty) {
    EXPECT_EQ(VersionOf(std::filesystem::read_symlink("/proc/self/exe").string()), "");
    EXPECT_EQ(VersionOf(Write("FULLSCREEN=1\n", "Halvory.ini")), "");
    EXPECT_EQ(VersionOf(Write("", "empty")), "");
    EXPECT_EQ(VersionOf((m_dir / "missing").string()), "");
    EXPECT_EQ(VersionOf(m_dir.string()), "");
    EXPECT_EQ(VersionOf("/dev/null"), "");
    EXPECT_EQ(VersionOf(""), "");
}

TEST_F(ProductVersionTest, ReadsBothElfClasses) {
    for (bool is64 : {false, true}) {
        EXPECT_EQ(VersionOfBytes(StampedElf(is64).bytes), "3,4,5,6") << "64-bit: " << is64;

        auto widest = BuildElf(is64, {{".hv_version", SHT_PROGBITS,
                                       Stamp(0xFEEF04BD, 0xFFFFFFFF, 0xFFFF0000) + "more"}});
        EXPECT_EQ(VersionOfBytes(widest.bytes), "65535,65535,65535,0") << "64-bit: " << is64;
    }
}

TEST_F(ProductVersionTest, FindsSectionsThroughExtendedNumbering) {
    for (bool is64 : {false, true}) {
        auto image = StampedElf(is64);
        Put(image.bytes, image.SectionSize(0), Get(image.bytes, image.ShNum(), 2), image.Width());
        Put(image.bytes, image.ShNum(), 0, 2);
        Put(image.bytes, image.SectionLink(0), image.namesIndex, 4);
        Put(image.bytes, image.ShStrNdx(), SHN_XINDEX, 2);
        EXPECT_EQ(VersionOfBytes(image.bytes), "3,4,5,6") << "64-bit: " << is64;

        Put(image.bytes, image.SectionSize(0), 0, image.Width());
        EXPECT_EQ(VersionOfBytes(image.bytes), "") << "64-bit: " << is64;
    }
}

TEST_F(ProductVersionTest, RejectsMalformedFilesAndStamps) {
    using Damage = std::function<void(ElfImage&)>;
    const struct {
        const char* what;
        Damage damage;
    } cases[] = {
        {"big-endian", [](ElfImage& e) { e.bytes[EI_DATA] = ELFDATA2MSB; }},
        {"no class", [](ElfImage& e) { e.bytes[EI_CLASS] = ELFCLASSNONE; }},
        {"bad magic", [](ElfImage& e) { e.bytes[1] = 'e'; }},
        {"wrong signature",
         [](ElfImage& e) { e.bytes[Get(e.bytes, e.SectionOffset(kStampIndex), e.Width())] ^= 1; }},
        {"stamp too short",
         [](ElfImage& e) { Put(e.bytes, e.SectionSize(kStampIndex), 8, e.Width()); }},
        {"stamp without bits",
         [](ElfImage& e) { Put(e.bytes, e.SectionType(kStampIndex), SHT_NOBITS, 4); }},
        {"stamp past the end",
         [](ElfImage& e) {
             Put(e.bytes, e.SectionOffset(kStampIndex), e.bytes.size() - 8, e.Width());
         }},
        {"name not terminated",
         [](ElfImage& e) {
             const size_t size = e.SectionSize(e.namesIndex);
             Put(e.bytes, size, Get(e.bytes, size, e.Width()) - 1, e.Width());
         }},
        {"longer name", [](ElfImage& e) { Put(e.bytes, e.SectionName(kStampIndex), 0, 4); }},
        {"name table too large",
         [](ElfImage& e) { Put(e.bytes, e.SectionSize(e.namesIndex), 0xFFFFFFFF, e.Width()); }},
        {"name table index out of range", [](ElfImage& e) { Put(e.bytes, e.ShStrNdx(), 5, 2); }},
        {"name table is the stamp",
         [](ElfImage& e) { Put(e.bytes, e.ShStrNdx(), kStampIndex, 2); }},
        {"header table past the end",
         [](ElfImage& e) { Put(e.bytes, e.ShOff(), e.bytes.size() - 1, e.Width()); }},
        {"no header table", [](ElfImage& e) { Put(e.bytes, e.ShOff(), 0, e.Width()); }},
        {"huge section count", [](ElfImage& e) { Put(e.bytes, e.ShNum(), 0xFFFE, 2); }},
        {"entries too small", [](ElfImage& e) { Put(e.bytes, e.ShEntSize(), 16, 2); }},
        {"truncated header", [](ElfImage& e) { e.bytes.resize(40); }},
    };
    for (bool is64 : {false, true}) {
        for (const auto& c : cases) {
            auto image = StampedElf(is64);
            c.damage(image);
            EXPECT_EQ(VersionOfBytes(image.bytes), "") << c.what << ", 64-bit: " << is64;
        }
    }
}

TEST_F(ProductVersionTest, NameMustMatchExactly) {
    const std::string stamp = Stamp(0xFEEF04BD, 1u << 16, 0);
    EXPECT_EQ(VersionOfBytes(BuildElf(true, {{".hv_versio", SHT_PROGBITS, stamp}}).bytes), "");
    EXPECT_EQ(VersionOfBytes(BuildElf(true, {{".HV_VERSION", SHT_PROGBITS, stamp}}).bytes), "");
    EXPECT_EQ(VersionOfBytes(BuildElf(true, {{".hv_version", SHT_PROGBITS, stamp}}).bytes),
              "1,0,0,0");
}

}  // namespace
