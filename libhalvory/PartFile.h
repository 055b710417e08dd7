// The archive bytes of one transfer. The downloading thread appends them to
// the part file as they arrive; the extraction and the hash read them back,
// each on a thread of its own. Recent bytes are kept in memory as well, so a
// reader that keeps up never goes back to the disk; one that has fallen
// behind, or starts on the bytes of an earlier attempt, reads the file.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <vector>

namespace hv {

class PartFile {
    struct Block;

  public:
    explicit PartFile(std::size_t blockBytes = std::size_t{1} << 20, std::size_t keptBlocks = 32);
    ~PartFile();
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    // Opens or creates the file. The bytes in it are kept when there are at
    // most maxBytes of them, else it starts empty. False, with errno set, on
    // a file error.
    bool open(const std::filesystem::path& path, std::uint64_t maxBytes);
    // Bytes in the file.
    std::uint64_t size() const;
    // Appends at the end. False, with errno set, when the file took only
    // some of them, as on a full disk; those stay and can be read.
    bool append(const char* data, std::size_t size);
    // No more bytes will come: a reader at the end gets 0.
    void finish();
    // Readers give up, also those waiting.
    void abort();
    // Closes the file and lets go of the memory, once no reader is left.
    void close();

    class Reader {
      public:
        explicit Reader(PartFile& file) : m_file(file) {}
        ~Reader();
        Reader(const Reader&) = delete;
        Reader& operator=(const Reader&) = delete;

        // Points *data at the next bytes and returns how many there are,
        // waiting for them if need be: 0 at the end after finish(), -1 after
        // abort() or on a read error. They stay valid until the next call.
        long next(const void** data);
        std::uint64_t offset() const { return m_offset; }

      private:
        PartFile& m_file;
        std::uint64_t m_offset = 0;
        std::shared_ptr<Block> m_block;  // the bytes last handed out, if kept in memory
        std::vector<char> m_buffer;      // the bytes last handed out, if read from the file
    };

  private:
    struct Block {
        std::uint64_t start = 0;
        std::unique_ptr<char[]> data;
    };

    void keep(const char* data, std::size_t size);

    const std::size_t m_blockBytes;
    const std::size_t m_keptBlocks;
    mutable std::mutex m_mutex;  // guards everything below
    std::condition_variable m_changed;
    int m_fd = -1;
    std::uint64_t m_size = 0;
    // Consecutive blocks holding the most recent bytes; all but the last are full.
    std::deque<std::shared_ptr<Block>> m_blocks;
    bool m_finished = false;
    bool m_aborted = false;
};

}  // namespace hv
