#include "PartFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "EngineThreads.h"

namespace hv {

namespace {

// Offset, length and memory of a write around the page cache are multiples of this.
constexpr std::size_t kDirectAlign = 4096;

// Writes all of [data, data + size) at offset; the bytes written, errno set when short.
std::size_t WriteAll(int fd, const char* data, std::size_t size, std::uint64_t offset) {
    std::size_t written = 0;
    while (written < size) {
        ssize_t n =
            ::pwrite(fd, data + written, size - written, static_cast<off_t>(offset + written));
        if (n > 0) {
            written += static_cast<std::size_t>(n);
        } else if (n == 0 || errno != EINTR) {
            if (n == 0) {
                errno = ENOSPC;
            }
            break;
        }
    }
    return written;
}

}  // namespace

void PartFile::AlignedDelete::operator()(char* p) const {
    ::operator delete[](p, std::align_val_t{kDirectAlign});
}

PartFile::PartFile(std::size_t blockBytes, std::size_t keptBlocks, std::chrono::milliseconds gather)
    : m_blockBytes(std::max<std::size_t>(blockBytes, 1)),
      m_keptBlocks(std::max<std::size_t>(keptBlocks, 1)),
      m_gather(gather) {}

PartFile::~PartFile() {
    Close();
}

bool PartFile::Open(const std::filesystem::path& path, std::uint64_t maxBytes) {
    Close();
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    off_t end = ::lseek(fd, 0, SEEK_END);
    std::uint64_t kept = 0;
    if (end > 0 && static_cast<std::uint64_t>(end) <= maxBytes) {
        kept = static_cast<std::uint64_t>(end);
    } else if (end != 0 && ::ftruncate(fd, 0) != 0) {
        int error = errno;
        ::close(fd);
        errno = error;
        return false;
    }
    int directFd = m_blockBytes % kDirectAlign == 0
                       ? ::open(path.c_str(), O_WRONLY | O_DIRECT | O_CLOEXEC)
                       : -1;
    {
        std::lock_guard lock(m_mutex);
        m_fd = fd;
        m_directFd = directFd;
        m_size = m_written = m_keptFrom = kept;
        m_vouched = 0;
        m_error = 0;
        m_finished = m_aborted = false;
    }
    m_writer = TryStartThread([this](std::stop_token stop) { WriteBehind(stop); });
    if (!m_writer.joinable()) {
        Close();
        errno = EAGAIN;
        return false;
    }
    return true;
}

std::uint64_t PartFile::Size() const {
    std::lock_guard lock(m_mutex);
    return m_size;
}

bool PartFile::Append(const char* data, std::size_t size) {
    while (size > 0) {
        std::shared_ptr<Block> block;
        {
            std::unique_lock lock(m_mutex);
            const std::uint64_t index = m_size / m_blockBytes;
            if (m_blocks.empty() || m_blocks.back()->index != index) {
                std::shared_ptr<Block> fresh;
                if (m_blocks.size() >= m_keptBlocks) {
                    // The oldest block goes once it is in the file, where a
                    // reader that has fallen behind finds its bytes.
                    m_writes.wait(lock, [&] {
                        return m_error != 0 || m_written >= BlockEnd(*m_blocks.front());
                    });
                }
                if (m_error != 0) {
                    errno = m_error;
                    return false;
                }
                if (m_blocks.size() >= m_keptBlocks) {
                    // Reuse it unless a reader still holds it.
                    if (m_blocks.front().use_count() == 1) {
                        fresh = std::move(m_blocks.front());
                    }
                    m_blocks.pop_front();
                    m_keptFrom = m_blocks.empty() ? m_size : m_blocks.front()->index * m_blockBytes;
                }
                if (!fresh) {
                    fresh = std::make_shared<Block>();
                    fresh->data.reset(new (std::align_val_t{kDirectAlign}) char[m_blockBytes]);
                }
                fresh->index = index;
                m_blocks.push_back(fresh);
            }
            block = m_blocks.back();
        }
        // Readers and the writer never look past m_size, so this part of the
        // block is ours.
        const std::size_t used = static_cast<std::size_t>(m_size % m_blockBytes);
        const std::size_t n = std::min(size, m_blockBytes - used);
        std::memcpy(block->data.get() + used, data, n);
        {
            std::lock_guard lock(m_mutex);
            m_size += n;
        }
        // Readers wait for vouched bytes, not for these: only the writer may
        // have work now.
        if (used + n == m_blockBytes) {
            m_writes.notify_all();
        }
        data += n;
        size -= n;
    }
    return true;
}

// The full block the file lacks next, if it is there.
std::shared_ptr<PartFile::Block> PartFile::NextToWrite() const {
    if (m_error != 0 || m_blocks.empty()) {
        return nullptr;
    }
    const std::uint64_t index = m_written / m_blockBytes;
    const std::uint64_t first = m_blocks.front()->index;
    if (index < first || index - first >= m_blocks.size()) {
        return nullptr;
    }
    const auto& block = m_blocks[static_cast<std::size_t>(index - first)];
    return BlockEnd(*block) <= m_size ? block : nullptr;
}

// Writes full blocks as they come; once asked to stop, those there are, and ends.
void PartFile::WriteBehind(std::stop_token stop) {
    std::unique_lock lock(m_mutex);
    for (;;) {
        std::shared_ptr<Block> block;
        if (!m_writes.wait(lock, stop, [&] { return (block = NextToWrite()) != nullptr; })) {
            return;
        }
        const std::uint64_t from = m_written;
        m_writing = true;
        lock.unlock();
        WriteOut(*block, from, BlockEnd(*block));
        lock.lock();
        // Released under the lock, so the appender sees whether the block is free.
        block.reset();
        m_writing = false;
        m_writes.notify_all();
    }
}

// Writes the block's bytes from `from` up to `end`. One thread at a time
// writes: the writer, or Close() once it has ended.
bool PartFile::WriteOut(const Block& block, std::uint64_t from, std::uint64_t end) {
    const char* data = block.data.get() + (from - block.index * m_blockBytes);
    const std::size_t size = static_cast<std::size_t>(end - from);
    std::size_t written = 0;
    if (m_directFd >= 0 && from % kDirectAlign == 0 && size % kDirectAlign == 0) {
        ssize_t n = ::pwrite(m_directFd, data, size, static_cast<off_t>(from));
        if (n >= 0) {
            written = static_cast<std::size_t>(n);
        } else if (errno == EINVAL) {
            // The file system wants other alignments or none of this: use the cache.
            ::close(m_directFd);
            m_directFd = -1;
        }
    }
    written += WriteAll(m_fd, data + written, size - written, from + written);
    const int error = errno;
    std::lock_guard lock(m_mutex);
    m_written = from + written;
    if (written < size) {
        // What did go in stays: the file is still the start of the archive,
        // and a resume checks it before it trusts any of it.
        m_error = errno = error;
        return false;
    }
    return true;
}

void PartFile::Vouch(std::uint64_t end) {
    {
        std::lock_guard lock(m_mutex);
        m_vouched = std::max(m_vouched, std::min(end, m_size));
    }
    m_changed.notify_all();
}

bool PartFile::Rewind(std::uint64_t to) {
    std::unique_lock lock(m_mutex);
    // The file must not change under a write.
    m_writes.wait(lock, [this] { return !m_writing; });
    if (to < m_vouched || to > m_size) {
        errno = EINVAL;
        return false;
    }
    // Readers hold only blocks with vouched bytes, which all stay.
    while (!m_blocks.empty() && m_blocks.back()->index > to / m_blockBytes) {
        m_blocks.pop_back();
    }
    if (to < m_keptFrom) {
        m_blocks.clear();
        m_keptFrom = to;
    }
    if (m_written > to) {
        if (::ftruncate(m_fd, static_cast<off_t>(to)) != 0) {
            m_error = errno;
            return false;
        }
        m_written = to;
    }
    m_size = to;
    return true;
}

void PartFile::Finish() {
    {
        std::lock_guard lock(m_mutex);
        m_finished = true;
    }
    m_changed.notify_all();
}

void PartFile::Abort() {
    {
        std::lock_guard lock(m_mutex);
        m_aborted = true;
    }
    m_changed.notify_all();
}

void PartFile::Close() {
    if (m_writer.joinable()) {
        m_writer.request_stop();
        m_writer.join();
    }
    // The writer has left only the last block, which is not full.
    if (m_fd >= 0 && m_error == 0 && m_written < m_size) {
        WriteOut(*m_blocks.back(), m_written, m_size);
    }
    std::lock_guard lock(m_mutex);
    m_blocks.clear();
    if (m_directFd >= 0) {
        ::close(m_directFd);
    }
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    m_fd = m_directFd = -1;
}

PartFile::Reader::~Reader() {
    // Released under the lock, so the writer sees whether the block is free.
    std::lock_guard lock(m_file.m_mutex);
    m_block.reset();
}

long PartFile::Reader::Next(const void** data) {
    std::unique_lock lock(m_file.m_mutex);
    m_block.reset();
    const std::size_t blockBytes = m_file.m_blockBytes;
    // A whole block where it fills quickly: the extraction then writes large
    // pieces, which the page cache takes several times faster than the small
    // ones a reader close behind the download would get. A slow line hands
    // out what it has after a moment, so the game is still ready to play.
    const std::uint64_t blockEnd = (m_offset / blockBytes + 1) * blockBytes;
    const auto ended = [&] { return m_file.m_aborted || m_file.m_finished; };
    if (!m_file.m_changed.wait_for(lock, m_file.m_gather,
                                   [&] { return ended() || m_file.m_vouched >= blockEnd; })) {
        m_file.m_changed.wait(lock, [&] { return ended() || m_file.m_vouched > m_offset; });
    }
    if (m_file.m_aborted) {
        return -1;
    }
    if (m_file.m_vouched <= m_offset) {
        return 0;
    }
    if (m_offset >= m_file.m_keptFrom) {
        const auto& blocks = m_file.m_blocks;
        m_block = blocks[static_cast<std::size_t>(m_offset / blockBytes - blocks.front()->index)];
        std::uint64_t end = std::min(m_file.m_vouched, m_file.BlockEnd(*m_block));
        *data = m_block->data.get() + (m_offset - m_block->index * blockBytes);
        long n = static_cast<long>(end - m_offset);
        m_offset = end;
        return n;
    }
    // Behind what is kept in memory: the file has these bytes.
    std::uint64_t end = m_file.m_keptFrom;
    int fd = m_file.m_fd;
    lock.unlock();
    m_buffer.resize(blockBytes);
    std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(m_buffer.size(), end - m_offset));
    ssize_t n;
    do {
        n = ::pread(fd, m_buffer.data(), want, static_cast<off_t>(m_offset));
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
        return -1;
    }
    *data = m_buffer.data();
    m_offset += static_cast<std::uint64_t>(n);
    return static_cast<long>(n);
}

}  // namespace hv
