// Checks the bytes of a download against its manifest on a thread of its own,
// so that hashing overlaps receiving. The downloading thread hands over the
// bytes in order; each block found whole is vouched for in the part file, in
// order, and the first damaged one stops the checking until it is fetched again.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <vector>

#include "PartFile.h"
#include "trust/PackageManifest.h"
#include "trust/Sha256.h"

namespace hv {

class BlockChecker {
  public:
    // `from` is where the bytes handed over start; it must begin a block.
    BlockChecker(const PackageManifest& manifest, PartFile& part, std::uint64_t from);
    ~BlockChecker();
    BlockChecker(const BlockChecker&) = delete;
    BlockChecker& operator=(const BlockChecker&) = delete;

    // False when no checking thread could start.
    bool Started() const { return m_thread.joinable(); }
    // Takes a copy of the next bytes; waits while the checking is far behind.
    void Add(const char* data, std::size_t size);
    // The first block found damaged, if any; its bytes and all after it are
    // dropped unchecked.
    std::optional<std::size_t> Damaged() const;
    // Waits until all the bytes handed over are checked; then Damaged().
    std::optional<std::size_t> Wait();
    // Starts again at `from`, which must begin a block, forgetting all else.
    void Restart(std::uint64_t from);

  private:
    struct Piece {
        std::vector<char> bytes;
        std::uint64_t from = 0;
    };

    void Run(std::stop_token stop);
    void Check(const Piece& piece);
    // Queues the piece being filled and starts the next.
    void Hand();

    const PackageManifest& m_manifest;
    PartFile& m_part;
    mutable std::mutex m_mutex;  // guards the queue, the spare buffers and the verdict
    std::condition_variable_any m_changed;
    std::deque<Piece> m_queue;               // handed over, not checked yet
    std::vector<std::vector<char>> m_spare;  // buffers to reuse
    bool m_checking = false;                 // the thread holds a piece
    std::optional<std::size_t> m_damaged;
    // The downloading thread's own.
    Piece m_filling;           // not handed over yet
    std::uint64_t m_next = 0;  // where the next byte handed over goes
    // The checking thread's own.
    Sha256 m_hash;
    std::uint64_t m_hashed = 0;  // where the bytes hashed so far end
    std::jthread m_thread;       // last, so it ends before the members it uses
};

}  // namespace hv
