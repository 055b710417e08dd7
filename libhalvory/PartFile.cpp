#include "PartFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace hv {

PartFile::PartFile(std::size_t blockBytes, std::size_t keptBlocks)
    : m_blockBytes(std::max<std::size_t>(blockBytes, 1)),
      m_keptBlocks(std::max<std::size_t>(keptBlocks, 1)) {}

PartFile::~PartFile() {
    close();
}

bool PartFile::open(const std::filesystem::path& path, std::uint64_t maxBytes) {
    close();
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    off_t end = ::lseek(fd, 0, SEEK_END);
    std::uint64_t kept = 0;
    if (end > 0 && static_cast<std::uint64_t>(end) <= maxBytes) {
        kept = static_cast<std::uint64_t>(end);
    } else if (end != 0 && (::ftruncate(fd, 0) != 0 || ::lseek(fd, 0, SEEK_SET) != 0)) {
        int error = errno;
        ::close(fd);
        errno = error;
        return false;
    }
    std::lock_guard lock(m_mutex);
    m_fd = fd;
    m_size = kept;
    return true;
}

std::uint64_t PartFile::size() const {
    std::lock_guard lock(m_mutex);
    return m_size;
}

bool PartFile::append(const char* data, std::size_t size) {
    int fd;
    {
        std::lock_guard lock(m_mutex);
        fd = m_fd;
    }
    std::size_t written = 0;
    int error = 0;
    while (written < size) {
        ssize_t n = ::write(fd, data + written, size - written);
        if (n > 0) {
            written += static_cast<std::size_t>(n);
        } else if (n == 0 || errno != EINTR) {
            error = n < 0 ? errno : ENOSPC;
            break;
        }
    }
    keep(data, written);
    errno = error;
    return error == 0;
}

void PartFile::keep(const char* data, std::size_t size) {
    while (size > 0) {
        Block* block;
        std::size_t used;
        {
            std::lock_guard lock(m_mutex);
            if (m_blocks.empty() || m_size - m_blocks.back()->start == m_blockBytes) {
                std::shared_ptr<Block> fresh;
                if (m_blocks.size() >= m_keptBlocks) {
                    // Reuse the oldest block unless a reader still holds it.
                    if (m_blocks.front().use_count() == 1)
                        fresh = std::move(m_blocks.front());
                    m_blocks.pop_front();
                }
                if (!fresh) {
                    fresh = std::make_shared<Block>();
                    fresh->data.reset(new char[m_blockBytes]);
                }
                fresh->start = m_size;
                m_blocks.push_back(std::move(fresh));
            }
            block = m_blocks.back().get();
            used = static_cast<std::size_t>(m_size - block->start);
        }
        // Readers never look past m_size, so this part of the block is ours.
        std::size_t n = std::min(size, m_blockBytes - used);
        std::memcpy(block->data.get() + used, data, n);
        {
            std::lock_guard lock(m_mutex);
            m_size += n;
        }
        m_changed.notify_all();
        data += n;
        size -= n;
    }
}

void PartFile::finish() {
    {
        std::lock_guard lock(m_mutex);
        m_finished = true;
    }
    m_changed.notify_all();
}

void PartFile::abort() {
    {
        std::lock_guard lock(m_mutex);
        m_aborted = true;
    }
    m_changed.notify_all();
}

void PartFile::close() {
    std::lock_guard lock(m_mutex);
    m_blocks.clear();
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

PartFile::Reader::~Reader() {
    // Released under the lock, so the writer sees whether the block is free.
    std::lock_guard lock(m_file.m_mutex);
    m_block.reset();
}

long PartFile::Reader::next(const void** data) {
    std::unique_lock lock(m_file.m_mutex);
    m_block.reset();
    m_file.m_changed.wait(
        lock, [&] { return m_file.m_aborted || m_file.m_finished || m_file.m_size > m_offset; });
    if (m_file.m_aborted)
        return -1;
    if (m_file.m_size <= m_offset)
        return 0;
    const auto& blocks = m_file.m_blocks;
    if (!blocks.empty() && m_offset >= blocks.front()->start) {
        std::size_t index =
            static_cast<std::size_t>((m_offset - blocks.front()->start) / m_file.m_blockBytes);
        m_block = blocks[index];
        std::uint64_t end = std::min(m_file.m_size, m_block->start + m_file.m_blockBytes);
        *data = m_block->data.get() + (m_offset - m_block->start);
        long n = static_cast<long>(end - m_offset);
        m_offset = end;
        return n;
    }
    // Behind what is kept in memory: the file has these bytes.
    std::uint64_t end = blocks.empty() ? m_file.m_size : blocks.front()->start;
    int fd = m_file.m_fd;
    lock.unlock();
    m_buffer.resize(m_file.m_blockBytes);
    std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(m_buffer.size(), end - m_offset));
    ssize_t n;
    do {
        n = ::pread(fd, m_buffer.data(), want, static_cast<off_t>(m_offset));
    } while (n < 0 && errno == EINTR);
    if (n <= 0)
        return -1;
    *data = m_buffer.data();
    m_offset += static_cast<std::uint64_t>(n);
    return static_cast<long>(n);
}

}  // namespace hv
