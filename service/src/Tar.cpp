#include "Tar.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace halvory::service {

namespace {

constexpr long long kBlock = 512;

// Zero-padded octal in width - 1 digits plus the terminating NUL.
void octal(char* field, std::size_t width, unsigned long long value) {
    for (std::size_t i = width - 1; i-- > 0;) {
        field[i] = static_cast<char>('0' + (value & 7));
        value >>= 3;
    }
    field[width - 1] = '\0';
}

}  // namespace

TarWriter::TarWriter(const std::filesystem::path& file, std::time_t mtime)
    : out_(file, std::ios::binary | std::ios::trunc), mtime_(mtime) {
    if (!out_) {
        throw std::runtime_error("cannot write " + file.string());
    }
}

void TarWriter::header(const std::string& name, long long size, unsigned mode, char type) {
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
    octal(h.data() + 100, 8, mode);
    octal(h.data() + 108, 8, 0);
    octal(h.data() + 116, 8, 0);
    octal(h.data() + 124, 12, static_cast<unsigned long long>(size));
    octal(h.data() + 136, 12, static_cast<unsigned long long>(mtime_));
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
    octal(h.data() + 148, 7, sum);
    h[155] = ' ';
    out_.write(h.data(), kBlock);
    offset_ += kBlock;
}

void TarWriter::pad(long long size) {
    long long rest = (kBlock - size % kBlock) % kBlock;
    static const std::array<char, kBlock> zeros{};
    out_.write(zeros.data(), rest);
    offset_ += rest;
}

void TarWriter::addDirectory(const std::string& name) {
    header(name.ends_with('/') ? name : name + "/", 0, 0755, '5');
}

void TarWriter::addFile(const std::string& name, std::string_view data, unsigned mode) {
    header(name, static_cast<long long>(data.size()), mode, '0');
    out_.write(data.data(), static_cast<std::streamsize>(data.size()));
    offset_ += static_cast<long long>(data.size());
    pad(static_cast<long long>(data.size()));
}

void TarWriter::addFileFrom(const std::string& name, const std::filesystem::path& source,
                            unsigned mode) {
    std::ifstream in(source, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + source.string());
    }
    auto size = static_cast<long long>(std::filesystem::file_size(source));
    header(name, size, mode, '0');
    out_ << in.rdbuf();
    offset_ += size;
    pad(size);
}

void TarWriter::addFiller(const std::string& name, long long size, std::uint32_t seed) {
    header(name, size, 0644, '0');
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
        out_.write(chunk.data(), static_cast<std::streamsize>(n));
        left -= static_cast<long long>(n);
    }
    offset_ += size;
    pad(size);
}

void TarWriter::finish() {
    static const std::array<char, kBlock * 2> end{};
    out_.write(end.data(), end.size());
    offset_ += kBlock * 2;
    out_.close();
    if (!out_) {
        throw std::runtime_error("tar write failed");
    }
}

}  // namespace halvory::service
