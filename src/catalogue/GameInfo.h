// One catalogue record: a game, or a free demo (type 3).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "image/CxImage.h"
#include "text/ShortView.h"

// The bytes that parsed records' texts point into, with the art folder their
// paths are made in. Each record pointing into it holds a count; the last
// one to let go frees it.
class CatalogueSource {
  public:
    // Takes a mapping of the file (unmapped when freed), or a copy of the
    // bytes. The caller holds the first count.
    static CatalogueSource* Mapped(const char* data, size_t size, std::string artDir);
    static CatalogueSource* Copied(const char* data, size_t size, std::string artDir);

    const char* Data() const { return m_data; }
    size_t Size() const { return m_size; }
    const std::string& ArtDir() const { return m_artDir; }

    void Hold(size_t count) { m_refs.fetch_add(count, std::memory_order_relaxed); }
    static void Release(CatalogueSource* source);

  private:
    CatalogueSource(const char* data, size_t size, bool mapped, std::string artDir);
    ~CatalogueSource();

    std::atomic<size_t> m_refs{1};
    const char* m_data;
    size_t m_size;
    bool m_mapped;
    std::string m_artDir;
};

// A lock of four bytes where std::mutex takes forty: there is one per record.
// A waiter sleeps on the word itself.
class IconLock {
  public:
    void lock() {
        uint32_t expected = kFree;
        if (m_state.compare_exchange_strong(expected, kLocked, std::memory_order_acquire)) {
            return;
        }
        while (m_state.exchange(kContended, std::memory_order_acquire) != kFree) {
            m_state.wait(kContended, std::memory_order_relaxed);
        }
    }
    void unlock() {
        if (m_state.exchange(kFree, std::memory_order_release) == kContended) {
            m_state.notify_one();
        }
    }

  private:
    static constexpr uint32_t kFree = 0;
    static constexpr uint32_t kLocked = 1;
    static constexpr uint32_t kContended = 2;  // locked, and someone may be waiting
    std::atomic<uint32_t> m_state{kFree};
};

struct GameInfo {
    GameInfo() = default;
    GameInfo(const GameInfo&) = delete;
    GameInfo& operator=(const GameInfo&) = delete;
    ~GameInfo() { CatalogueSource::Release(m_pSource); }

    // The texts point into m_pSource, or, for a record made by hand, into
    // strings its maker keeps alive.
    hv::ShortView m_strTitle;
    hv::ShortView m_strPackage;     // identity of the record, compared ignoring case
    hv::ShortView m_strCategories;  // comma-separated names
    hv::ShortView m_strRating;
    hv::ShortView m_strPrice;  // decimal text; 0 means free
    hv::ShortView m_strDeveloper;
    hv::ShortView m_strPublisher;
    hv::ShortView m_strPairKey;  // shared by a game and its demo

    // The art thread replaces the icon while the screens draw it.
    std::unique_ptr<CxImage> m_pIconImage;

    GameInfo* m_pPartner = nullptr;  // the paired game or demo; never reset once set
    CatalogueSource* m_pSource = nullptr;
    IconLock m_csIcon;
    int16_t m_nType = 0;  // always > 0 once listed

    bool IsDemo() const { return m_nType == 3; }

    // The art files, made from the art folder and the title when asked rather
    // than kept: two paths per record would be most of its size.
    std::string IconFile() const;
    std::string DescFile() const;

    // Records come from blocks of many, handed out in order: no allocation
    // and no heap header each.
    static void* operator new(size_t size);
    static void operator delete(void* record) noexcept;
};

// While it lives, another thread faults in the blocks that the records the
// calling thread makes next will take: a fresh page costs the kernel about as
// much as a parse spends on the records in it, and a parse leaves the second
// core idle. records: about how many the caller may make.
class RecordBlocksAhead {
  public:
    explicit RecordBlocksAhead(size_t records);
    ~RecordBlocksAhead();
    RecordBlocksAhead(const RecordBlocksAhead&) = delete;
    RecordBlocksAhead& operator=(const RecordBlocksAhead&) = delete;

    struct Shared;

  private:
    std::shared_ptr<Shared> m_shared;
};
