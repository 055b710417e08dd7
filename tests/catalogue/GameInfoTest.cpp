#include <gtest/gtest.h>

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
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
// record in it is gone, whichever thread made or freed them. Blocks faulted in
// ahead that no record took go back too, and records made once that ends come
// from blocks of their own again.
TEST(GameInfoRecords, EveryBlockComesBackWhicheverThreadFreesItsRecords) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers' heap keeps no counts for mallinfo2, and records skip the "
                    "blocks there";
#endif
    static constexpr size_t kRecords = 30'000;  // a few blocks
    for (const bool ahead : {false, true}) {
        SCOPED_TRACE(ahead ? "blocks faulted in ahead" : "blocks faulted in when taken");
        std::vector<std::unique_ptr<GameInfo>> records(kRecords);
        const size_t before = HeapInUse();
        std::thread maker([&records, ahead] {
            {
                std::optional<RecordBlocksAhead> blocks;
                if (ahead) {
                    blocks.emplace(kRecords);
                }
                for (size_t i = 0; i < kRecords / 2; ++i) {
                    records[i] = std::make_unique<GameInfo>();
                }
            }
            for (size_t i = kRecords / 2; i < kRecords; ++i) {
                records[i] = std::make_unique<GameInfo>();
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
        // The faulting thread hands back what no record took in its own time.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (HeapInUse() >= before + 64 * 1024 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_LT(HeapInUse(), before + 64 * 1024);
    }
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
