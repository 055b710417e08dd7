#include "catalogue/GameInfo.h"

#include <sched.h>
#include <sys/mman.h>

#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>

#include "catalogue/CatalogueFile.h"
#include "winapi/Thread.h"

CatalogueSource* CatalogueSource::Mapped(const char* data, size_t size, std::string artDir) {
    return new CatalogueSource(data, size, true, std::move(artDir));
}

CatalogueSource* CatalogueSource::Copied(const char* data, size_t size, std::string artDir) {
    char* copy = size ? new char[size] : nullptr;
    if (size) {
        std::memcpy(copy, data, size);
    }
    return new CatalogueSource(copy, size, false, std::move(artDir));
}

CatalogueSource::CatalogueSource(const char* data, size_t size, bool mapped, std::string artDir)
    : m_data(data), m_size(size), m_mapped(mapped), m_artDir(std::move(artDir)) {}

CatalogueSource::~CatalogueSource() {
    if (m_mapped) {
        ::munmap(const_cast<char*>(m_data), m_size);
    } else {
        delete[] m_data;
    }
}

void CatalogueSource::Release(CatalogueSource* source) {
    if (source && source->m_refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        delete source;
    }
}

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The sanitizers watch the ordinary heap: a record used after it was freed
// must still be caught there.
constexpr bool kPooled = false;
#else
constexpr bool kPooled = true;
#endif

// A block is aligned to its size, so a record finds its block's count from
// its own address. The count starts at kOpen while a thread hands out from
// the block; retiring takes back kOpen less what was handed out, each freed
// record one, and whoever brings it to zero frees the block.
constexpr size_t kBlockBytes = size_t{1} << 20;
constexpr size_t kOpen = SIZE_MAX / 2;

struct Block {
    std::atomic<size_t> live{kOpen};
};
constexpr size_t kFirstRecord = (sizeof(Block) + alignof(std::max_align_t) - 1) /
                                alignof(std::max_align_t) * alignof(std::max_align_t);

void Drop(Block* block, size_t count) {
    if (block->live.fetch_sub(count, std::memory_order_acq_rel) == count) {
        block->~Block();
        std::free(block);
    }
}

struct Cursor {
    Block* block = nullptr;
    size_t next = 0;
    size_t handed = 0;

    ~Cursor() { Retire(); }
    void Retire() {
        if (block) {
            Drop(block, kOpen - handed);
            block = nullptr;
        }
    }
};

thread_local Cursor t_cursor;

void* NewBlock() {
    void* memory = std::aligned_alloc(kBlockBytes, kBlockBytes);
    if (memory) {
        // Fault the whole block in at once: a page at a time costs more.
        ::madvise(memory, kBlockBytes, MADV_POPULATE_WRITE);
    }
    return memory;
}

// Blocks kept faulted in ahead of the records that will take them; more would
// be work thrown away when the records stop coming.
constexpr size_t kBlocksAhead = 2;

bool SecondCore() {
    cpu_set_t cores;
    return ::sched_getaffinity(0, sizeof cores, &cores) == 0 && CPU_COUNT(&cores) > 1;
}

// Set while a RecordBlocksAhead of this thread lives.
thread_local RecordBlocksAhead::Shared* t_ahead = nullptr;

std::string ArtPath(const GameInfo& game, std::string_view extension) {
    std::string path = game.m_pSource ? game.m_pSource->ArtDir() : std::string();
    const std::string_view title = game.m_strTitle;
    if (title.find_first_of("%/") == std::string_view::npos) {
        path.append(title);
    } else {
        path.append(ArtFileName(title));
    }
    path.append(extension);
    return path;
}

}  // namespace

struct RecordBlocksAhead::Shared {
    std::mutex lock;
    std::condition_variable changed;
    std::deque<void*> ready;
    bool stop = false;

    // The faulting thread's loop: keeps kBlocksAhead blocks ready until
    // stopped, then frees those no record took.
    void Fill() {
        std::unique_lock hold(lock);
        for (;;) {
            changed.wait(hold, [this] { return stop || ready.size() < kBlocksAhead; });
            if (stop) {
                break;
            }
            hold.unlock();
            void* block = NewBlock();
            hold.lock();
            if (!block) {
                break;
            }
            ready.push_back(block);
        }
        for (void* block : ready) {
            std::free(block);
        }
        ready.clear();
    }

    void* Take() {
        const std::lock_guard hold(lock);
        if (ready.empty()) {
            return nullptr;
        }
        void* block = ready.front();
        ready.pop_front();
        changed.notify_one();
        return block;
    }
};

void* GameInfo::operator new(size_t size) {
    if (!kPooled) {
        return ::operator new(size);
    }
    size = (size + alignof(std::max_align_t) - 1) / alignof(std::max_align_t) *
           alignof(std::max_align_t);
    Cursor& cursor = t_cursor;
    if (!cursor.block || kBlockBytes - cursor.next < size) {
        cursor.Retire();
        void* memory = t_ahead ? t_ahead->Take() : nullptr;
        if (!memory) {
            memory = NewBlock();
        }
        if (!memory) {
            throw std::bad_alloc();
        }
        cursor.block = new (memory) Block;
        cursor.next = kFirstRecord;
        cursor.handed = 0;
    }
    void* record = reinterpret_cast<char*>(cursor.block) + cursor.next;
    cursor.next += size;
    ++cursor.handed;
    return record;
}

void GameInfo::operator delete(void* record) noexcept {
    if (!kPooled) {
        ::operator delete(record);
        return;
    }
    if (record) {
        const auto address = reinterpret_cast<uintptr_t>(record) & ~(kBlockBytes - 1);
        Drop(reinterpret_cast<Block*>(address), 1);
    }
}

std::string GameInfo::IconFile() const {
    return ArtPath(*this, ".jpg");
}

std::string GameInfo::DescFile() const {
    return ArtPath(*this, ".txt");
}

RecordBlocksAhead::RecordBlocksAhead(size_t records) {
    // Fewer records than a block holds gain nothing from a thread, and on a
    // single core it would only take turns with the parse.
    if (!kPooled || t_ahead || records * sizeof(GameInfo) <= kBlockBytes || !SecondCore()) {
        return;
    }
    m_shared = std::make_shared<Shared>();
    // The thread shares the state and is never waited for: ending a parse
    // must not wait on a block being faulted in.
    if (!hv::Thread::Start([shared = m_shared] { shared->Fill(); })) {
        m_shared.reset();
        return;
    }
    t_ahead = m_shared.get();
}

RecordBlocksAhead::~RecordBlocksAhead() {
    if (!m_shared) {
        return;
    }
    t_ahead = nullptr;
    {
        const std::lock_guard hold(m_shared->lock);
        m_shared->stop = true;
    }
    m_shared->changed.notify_one();
}
