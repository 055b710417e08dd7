// The archive bytes of one transfer. The downloading thread appends them and
// vouches for them once they are checked; the extraction reads the vouched
// ones back on a thread of its own, and never sees the others.
// Recent bytes are kept in memory, so a reader that keeps up never goes back
// to the disk; one that has fallen behind, or starts on the bytes of an
// earlier attempt, reads the file.
//
// The file is only there for a later resume and is hardly ever read, so full
// blocks go to it around the page cache where the file system allows: the
// transfer then churns through half the memory. A thread of its own writes
// them, so the download goes on while the disk works.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

namespace hv {

class PartFile {
    struct Block;

  public:
    // gather: how long a reader waits for the rest of a block once some of
    // it is there.
    explicit PartFile(std::size_t blockBytes = std::size_t{1} << 20, std::size_t keptBlocks = 32,
                      std::chrono::milliseconds gather = std::chrono::milliseconds(20));
    ~PartFile();
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    // Opens or creates the file. The bytes in it are kept when there are at
    // most maxBytes of them, else it starts empty; they are not vouched for.
    // False, with errno set, on a file error or when no writing thread starts.
    bool Open(const std::filesystem::path& path, std::uint64_t maxBytes);
    // Bytes taken so far.
    std::uint64_t Size() const;
    // Appends at the end; they reach the file soon after their block is full,
    // or on Close(). Waits while the oldest kept block is not in the file yet.
    // False, with errno set, once the file refused bytes, as on a full disk:
    // it then holds a start of the bytes, as many as went in, and nothing
    // more is taken.
    bool Append(const char* data, std::size_t size);
    // Readers may have the bytes before `end` (at most Size()).
    void Vouch(std::uint64_t end);
    // Drops the bytes from `to` on, which must not be vouched for, from the
    // memory and the file; appending goes on from there.
    bool Rewind(std::uint64_t to);
    // No more bytes will come: a reader at the end gets 0.
    void Finish();
    // Readers give up, also those waiting.
    void Abort();
    // Writes what the file lacks, closes it and lets go of the memory, once
    // no reader is left. Only the appending thread calls it.
    void Close();

    class Reader {
      public:
        explicit Reader(PartFile& file) : m_file(file) {}
        ~Reader();
        Reader(const Reader&) = delete;
        Reader& operator=(const Reader&) = delete;

        // Points *data at the next vouched bytes and returns how many there are,
        // waiting for them if need be, and up to the gather time for the rest
        // of their block: 0 at the end after Finish(), -1 after Abort() or on
        // a read error. They stay valid until the next call.
        long Next(const void** data);
        std::uint64_t Offset() const { return m_offset; }

      private:
        PartFile& m_file;
        std::uint64_t m_offset = 0;
        std::shared_ptr<Block> m_block;  // the bytes last handed out, if kept in memory
        std::vector<char> m_buffer;      // the bytes last handed out, if read from the file
    };

  private:
    struct AlignedDelete {
        void operator()(char* p) const;
    };
    // The bytes of the file from index * blockBytes on; the first block of a
    // resumed file starts where its bytes end, part way in.
    struct Block {
        std::uint64_t index = 0;
        std::unique_ptr<char, AlignedDelete> data;
    };

    std::uint64_t BlockEnd(const Block& block) const { return (block.index + 1) * m_blockBytes; }
    std::shared_ptr<Block> NextToWrite() const;
    void WriteBehind(std::stop_token stop);
    bool WriteOut(const Block& block, std::uint64_t from, std::uint64_t end);

    const std::size_t m_blockBytes;
    const std::size_t m_keptBlocks;
    const std::chrono::milliseconds m_gather;
    mutable std::mutex m_mutex;            // guards everything below but the file writes
    std::condition_variable m_changed;     // for readers: bytes vouched, the end
    std::condition_variable_any m_writes;  // for the writer and the appender
    int m_fd = -1;
    int m_directFd = -1;  // the same file without the page cache, if it can be had
    std::uint64_t m_size = 0;
    std::uint64_t m_vouched = 0;   // what readers may have
    std::uint64_t m_written = 0;   // bytes in the file, never fewer than m_keptFrom
    std::uint64_t m_keptFrom = 0;  // where the bytes kept in memory start
    int m_error = 0;               // why the file last refused bytes
    // The blocks holding the most recent bytes, one per index and in order.
    std::deque<std::shared_ptr<Block>> m_blocks;
    bool m_writing = false;  // the writer is at the file
    bool m_finished = false;
    bool m_aborted = false;
    std::jthread m_writer;  // last, so it ends before the members it uses
};

}  // namespace hv
