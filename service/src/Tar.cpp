#include "Tar.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace hv::service {

namespace {

constexpr long long kBlock = 512;

// Zero-padded octal in width - 1 digits plus the terminating NUL.
void Octal(char* field, std::size_t width, unsigned long long value) {
    for (std::size_t i = width - 1; i-- > 0;) {
        field[i] = static_cast<char>('0' + (value & 7));
        value >>= 3;
    }
    field[width - 1] = '\0';
}

}  // namespace

TarWriter::TarWriter(const std::filesystem::path& file, std::time_t mtime)
    : m_out(file, std::ios::binary | std::ios::trunc), m_mtime(mtime) {
    if (!m_out) {
        throw std::runtime_error("cannot write " + file.string());
    }
}

void TarWriter::Header(const std::string& name, long long size, unsigned mode, char type) {
    std::array<char, kBlock> h{};
    std::string prefix;
    std::string base = name;
    if (base.size() > 100) {
        auto slash = base.rfind('/', 155);
        if (slash == std::string::npos || base.size() - slash - 1 > 100) {
            throw std::invalid_argument("tar entry name too long: " + name);
        }
        prefix = base.substr(0, slash);
        base = base.substr(slash + 1);
    }
    std::memcpy(h.data(), base.data(), base.size());
    Octal(h.data() + 100, 8, mode);
    Octal(h.data() + 108, 8, 0);
    Octal(h.data() + 116, 8, 0);
    Octal(h.data() + 124, 12, static_cast<unsigned long long>(size));
    Octal(h.data() + 136, 12, static_cast<unsigned long long>(m_mtime));
    std::memset(h.data() + 148, ' ', 8);
    h[156] = type;
    std::memcpy(h.data() + 257, "ustar", 6);
    std::memcpy(h.data() + 263, "00", 2);
    std::memcpy(h.data() + 265, "halvory", 7);
    std::memcpy(h.data() + 297, "halvory", 7);
    std::memcpy(h.data() + 345, prefix.data(), prefix.size());
    unsigned sum = 0;
    for (char c : h) {
        sum += static_cast<unsigned char>(c);
    }
    Octal(h.data() + 148, 7, sum);
    h[155] = ' ';
    m_out.write(h.data(), kBlock);
    m_offset += kBlock;
}

void TarWriter::Pad(long long size) {
    long long rest = (kBlock - size % kBlock) % kBlock;
    static const std::array<char, kBlock> zeros{};
    m_out.write(zeros.data(), rest);
    m_offset += rest;
}

void TarWriter::AddDirectory(const std::string& name) {
    Header(name.ends_with('/') ? name : name + "/", 0, 0755, '5');
}

void TarWriter::AddFile(const std::string& name, std::string_view data, unsigned mode) {
    Header(name, static_cast<long long>(data.size()), mode, '0');
    m_out.write(data.data(), static_cast<std::streamsize>(data.size()));
    m_offset += static_cast<long long>(data.size());
    Pad(static_cast<long long>(data.size()));
}

void TarWriter::AddFileFrom(const std::string& name, const std::filesystem::path& source,
                            unsigned mode) {
    std::ifstream in(source, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + source.string());
    }
    auto size = static_cast<long long>(std::filesystem::file_size(source));
    Header(name, size, mode, '0');
    m_out << in.rdbuf();
    m_offset += size;
    Pad(size);
}

void TarWriter::AddFiller(const std::string& name, long long size, std::uint32_t seed) {
    Header(name, size, 0644, '0');
    std::vector<char> chunk(64 * 1024);
    std::uint32_t state = seed ? seed : 1;
    for (long long left = size; left > 0;) {
        auto n = static_cast<std::size_t>(std::min<long long>(left, chunk.size()));
        for (std::size_t i = 0; i < n; ++i) {
            // xorshift: cheap bytes that do not compress, like real game data.
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            chunk[i] = static_cast<char>(state);
        }
        m_out.write(chunk.data(), static_cast<std::streamsize>(n));
        left -= static_cast<long long>(n);
    }
    m_offset += size;
    Pad(size);
}

void TarWriter::Finish() {
    static const std::array<char, kBlock * 2> end{};
    m_out.write(end.data(), end.size());
    m_offset += kBlock * 2;
    m_out.close();
    if (!m_out) {
        throw std::runtime_error("tar write failed");
    }
}

}  // namespace hv::service
