#include <gtest/gtest.h>

#include <malloc.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "catalogue/GameInfo.h"

namespace {

size_t HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

}  // namespace

// Records come from shared blocks; a block goes back to the heap once every
// record in it is gone, whichever thread made or freed them.
TEST(GameInfoRecords, EveryBlockComesBackWhicheverThreadFreesItsRecords) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers' heap keeps no counts for mallinfo2, and records skip the "
                    "blocks there";
#endif
    constexpr size_t kRecords = 30'000;  // a few blocks
    std::vector<std::unique_ptr<GameInfo>> records(kRecords);
    const size_t before = HeapInUse();
    std::thread maker([&records] {
        for (auto& record : records) {
            record = std::make_unique<GameInfo>();
            record->m_nType = 1;
        }
    });
    maker.join();
    EXPECT_GE(HeapInUse(), before + kRecords * sizeof(GameInfo));
    std::thread freer([&records] {
        // Out of order, so that no block empties front to back.
        for (size_t i = 0; i < kRecords; i += 2) {
            records[i].reset();
        }
        for (size_t i = 1; i < kRecords; i += 2) {
            records[i].reset();
        }
    });
    freer.join();
    EXPECT_LT(HeapInUse(), before + 64 * 1024);
}

TEST(GameInfoRecords, TheIconLockKeepsEveryUpdate) {
    GameInfo game;
    int counted = 0;
    constexpr int kRounds = 200'000;
    const auto count = [&] {
        for (int i = 0; i < kRounds; ++i) {
            std::lock_guard lock(game.m_csIcon);
            ++counted;
        }
    };
    std::thread other(count);
    count();
    other.join();
    EXPECT_EQ(counted, 2 * kRounds);
}

TEST(GameInfoRecords, TextsOfEveryLengthAFieldCanHave) {
    const std::string longest(hv::ShortView::kMaxSize, 'x');
    const std::string_view texts[] = {"", "a", "Nebula Drift", longest};
    for (const std::string_view text : texts) {
        const hv::ShortView view = text;
        EXPECT_EQ(view.data(), text.data());
        EXPECT_EQ(view.size(), text.size());
        EXPECT_EQ(view.empty(), text.empty());
    }
    EXPECT_EQ(hv::ShortView().View(), std::string_view());
}
