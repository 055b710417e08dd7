// The frame reading the engine's catalogue file: records and categories on
// each catalogue notification, the art thread restarted over them, and the
// catalogue emptied at logout.
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "CatalogueRecord.h"
#include "FrameFixture.h"
#include "catalogue/Catalogue.h"
#include "res/ResourceTable.h"
#include "res/Resources.h"
#include "screens/GamesView.h"

namespace {

namespace fs = std::filesystem;
using testcat::GameRecord;

// Runs each test in a folder of its own, where the engine drops its file.
class FrameCatalogueTest : public FrameTest {
  protected:
    void SetUp() override {
        m_previous = fs::current_path();
        m_folder = fs::temp_directory_path() /
                   ("frame-catalogue-" + std::to_string(getpid()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_folder);
        fs::create_directories(m_folder / "art");
        fs::current_path(m_folder);
        FrameTest::SetUp();
    }
    void TearDown() override {
        FrameTest::TearDown();
        fs::current_path(m_previous);
        fs::remove_all(m_folder);
    }

    // Replaced, never rewritten, as the engine does: records point into the
    // file they were read from.
    void WriteCatalogue(const std::string& bytes) {
        std::ofstream(m_folder / "moviedata.new", std::ios::binary) << bytes;
        fs::rename(m_folder / "moviedata.new", m_folder / "moviedata.txt");
    }

    fs::path m_folder;

  private:
    fs::path m_previous;
};

}  // namespace

TEST_F(FrameCatalogueTest, EachNotificationMergesTheFileAndFeedsTheCategories) {
    WriteCatalogue(GameRecord("pkg.a", "Alpha", "1", "Action,,Puzzle") +
                   GameRecord("pkg.b", "Beta", "3", "Racing") +
                   GameRecord("pkg.c", "Gamma", "0", "Hidden"));
    Send(UWM_CATALOGUE_READY);
    ASSERT_EQ(g_arrGameInfo.size(), 2u);
    GameInfo* alpha = g_arrGameInfo[0].get();
    EXPECT_EQ(frame->GamesView()->CategoryNames(), (Lines{"Action", "Puzzle", "Racing"}));

    // A later file merges into the records listed; a missing one changes nothing.
    WriteCatalogue(GameRecord("PKG.A", "Alpha II", "1", "Action") +
                   GameRecord("pkg.d", "Delta", "1", "Strategy"));
    Send(UWM_CATALOGUE_READY);
    fs::remove(m_folder / "moviedata.txt");
    Send(UWM_CATALOGUE_READY);
    ASSERT_EQ(g_arrGameInfo.size(), 3u);
    EXPECT_EQ(g_arrGameInfo[0].get(), alpha);
    EXPECT_EQ(alpha->m_strTitle, "Alpha II");
    EXPECT_EQ(frame->GamesView()->CategoryNames().back(), "Strategy");

    // Without art settings nothing is fetched.
    EXPECT_EQ(frame->ParseCatalogue(), 0);

    frame->LogoutSequence();
    EXPECT_TRUE(g_arrGameInfo.empty());
}

// The cancel worker reads the queued record's package while new files are
// merged into it; the thread sanitizer build sees it if they overlap unguarded.
TEST_F(FrameCatalogueTest, CancelReadsTheQueuedRecordWhileFilesAreMerged) {
    WriteCatalogue(GameRecord("pkg.a", "Alpha"));
    Send(UWM_CATALOGUE_READY);
    ASSERT_EQ(g_arrGameInfo.size(), 1u);
    Act(ACTION_DOWNLOAD, g_arrGameInfo[0].get());
    ASSERT_TRUE(frame->WaitForWorkers(5000));
    Send(UWM_CANCEL_DOWNLOAD);
    // Each file names the record again, so each merge moves its texts to a
    // new mapping and lets the one before go.
    for (int i = 0; !frame->WaitForWorkers(1); ++i) {
        WriteCatalogue(GameRecord("pkg.a", "Alpha " + std::to_string(i)));
        Send(UWM_CATALOGUE_READY);
    }
    const auto cancelled = fake::CallsTo("hv_CancelA");
    ASSERT_EQ(cancelled.size(), 1u);
    EXPECT_EQ(cancelled[0].args[0], "pkg.a");
}

TEST_F(FrameCatalogueTest, CachedIconsAreDrawnBeforeTheParseReturns) {
    // Nothing listens on port 9: only the cache can supply icons.
    std::ofstream(m_folder / "Halvory.ini")
        << "ARTDIR=" << (m_folder / "art").string() << "/\nARTURL=http://127.0.0.1:9/art/\n";
    ASSERT_NE(config.Load((m_folder / "Halvory.ini").string()), 0);
    std::vector<uint8_t> jpeg;
    ASSERT_TRUE(
        hv::LoadResourceData(hv::res::kScreenBackdrop.type, hv::res::kScreenBackdrop.id, &jpeg));
    std::ofstream(m_folder / "art" / "Alpha.jpg", std::ios::binary)
        .write(reinterpret_cast<const char*>(jpeg.data()),
               static_cast<std::streamsize>(jpeg.size()));
    WriteCatalogue(GameRecord("pkg.a", "Alpha") + GameRecord("pkg.b", "Beta"));

    EXPECT_EQ(frame->ParseCatalogue(), 1);
    ASSERT_EQ(g_arrGameInfo.size(), 2u);
    EXPECT_EQ(g_arrGameInfo[0]->IconFile(), (m_folder / "art" / "Alpha.jpg").string());
    {
        std::lock_guard lock(g_arrGameInfo[0]->m_csIcon);
        ASSERT_NE(g_arrGameInfo[0]->m_pIconImage, nullptr);
        EXPECT_TRUE(g_arrGameInfo[0]->m_pIconImage->IsValid());
    }
    {
        std::lock_guard lock(g_arrGameInfo[1]->m_csIcon);
        EXPECT_EQ(g_arrGameInfo[1]->m_pIconImage, nullptr);
    }

    // A second notification restarts the thread over the same records, and
    // logging out stops it before the records go.
    Send(UWM_CATALOGUE_READY);
    EXPECT_EQ(g_arrGameInfo.size(), 2u);
    frame->LogoutSequence();
    EXPECT_TRUE(g_arrGameInfo.empty());
}
