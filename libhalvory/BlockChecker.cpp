#include "BlockChecker.h"

#include <algorithm>
#include <utility>

#include "EngineThreads.h"

namespace hv {

namespace {

// Bytes go over in pieces of at most this, never across a block's end.
constexpr std::size_t kPieceBytes = 256 << 10;
// How far the checking may fall behind before the downloading waits: 16 MiB.
constexpr std::size_t kMostQueued = 64;

}  // namespace

BlockChecker::BlockChecker(const PackageManifest& manifest, PartFile& part, std::uint64_t from)
    : m_manifest(manifest), m_part(part), m_next(from), m_hashed(from) {
    m_filling.from = from;
    m_thread = TryStartThread([this](std::stop_token stop) { Run(stop); });
}

BlockChecker::~BlockChecker() {
    if (m_thread.joinable()) {
        m_thread.request_stop();
        m_thread.join();
    }
}

void BlockChecker::Add(const char* data, std::size_t size) {
    const std::uint64_t blockSize = m_manifest.blockSize;
    while (size > 0) {
        const std::uint64_t blockEnd =
            std::min((m_next / blockSize + 1) * blockSize, m_manifest.size);
        if (m_next >= blockEnd) {
            return;  // past the end of the package: nothing to check it against
        }
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(
            {size, kPieceBytes - m_filling.bytes.size(), blockEnd - m_next}));
        m_filling.bytes.insert(m_filling.bytes.end(), data, data + n);
        m_next += n;
        data += n;
        size -= n;
        if (m_filling.bytes.size() == kPieceBytes || m_next == blockEnd) {
            Hand();
        }
    }
}

void BlockChecker::Hand() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_damaged || m_queue.size() < kMostQueued; });
    Piece next;
    next.from = m_next;
    if (!m_spare.empty()) {
        next.bytes = std::move(m_spare.back());
        m_spare.pop_back();
        next.bytes.clear();
    }
    if (m_damaged) {
        // Nothing after a damaged block counts until it comes again.
        m_spare.push_back(std::move(m_filling.bytes));
    } else {
        m_queue.push_back(std::move(m_filling));
    }
    m_filling = std::move(next);
    m_changed.notify_all();
}

std::optional<std::size_t> BlockChecker::Damaged() const {
    std::lock_guard lock(m_mutex);
    return m_damaged;
}

std::optional<std::size_t> BlockChecker::Wait() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_queue.empty() && !m_checking; });
    return m_damaged;
}

void BlockChecker::Restart(std::uint64_t from) {
    std::unique_lock lock(m_mutex);
    for (Piece& piece : m_queue) {
        m_spare.push_back(std::move(piece.bytes));
    }
    m_queue.clear();
    m_changed.wait(lock, [this] { return !m_checking; });
    m_damaged.reset();
    m_filling.bytes.clear();
    m_filling.from = m_next = m_hashed = from;
    m_hash = Sha256();
    m_changed.notify_all();
}

void BlockChecker::Run(std::stop_token stop) {
    std::unique_lock lock(m_mutex);
    while (m_changed.wait(lock, stop, [this] { return !m_queue.empty(); }) &&
           !stop.stop_requested()) {
        Piece piece = std::move(m_queue.front());
        m_queue.pop_front();
        m_checking = true;
        lock.unlock();
        Check(piece);
        lock.lock();
        m_spare.push_back(std::move(piece.bytes));
        m_checking = false;
        m_changed.notify_all();
    }
}

// Hashes the piece; at a block's end, vouches for the block or marks it damaged.
void BlockChecker::Check(const Piece& piece) {
    m_hash.Update(piece.bytes.data(), piece.bytes.size());
    m_hashed = piece.from + piece.bytes.size();
    const std::uint64_t blockSize = m_manifest.blockSize;
    const std::uint64_t index = piece.from / blockSize;
    if (m_hashed != std::min((index + 1) * blockSize, m_manifest.size)) {
        return;
    }
    const bool good = m_hash.Finish() == m_manifest.blocks[static_cast<std::size_t>(index)];
    m_hash = Sha256();
    if (good) {
        m_part.Vouch(m_hashed);
        return;
    }
    std::lock_guard lock(m_mutex);
    m_damaged = static_cast<std::size_t>(index);
    for (Piece& dropped : m_queue) {
        m_spare.push_back(std::move(dropped.bytes));
    }
    m_queue.clear();
}

}  // namespace hv
