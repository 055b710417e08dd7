// The art thread against real HTTP servers on loopback: the reference service
// and, when installed, nginx serving the same folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "CatalogueRecord.h"
#include "catalogue/GameInfoThread.h"
#include "image/TestImages.h"
#include "messages/Messages.h"
#include "net/PercentEncode.h"
#include "service/ServiceHarness.h"

namespace {

namespace fs = std::filesystem;
using hvtest::ReadFile;

// Bounds for things that normally take milliseconds; only a hang reaches them.
constexpr DWORD kRunLimitMs = 120000;

constexpr int64_t kIconTime = 1600000000;
constexpr int64_t kDescTime = 1600000100;

void WriteFile(const fs::path& path, const std::string& bytes, int64_t modified) {
    hvtest::WriteFile(path, bytes);
    const timespec times[2] = {{modified, 0}, {modified, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

std::string Jpeg(uint32_t width, uint32_t height) {
    const auto bytes = testimg::SolidJpeg(width, height, {200, 40, 90});
    return {bytes.begin(), bytes.end()};
}

// Seconds since 1970 of the file's last change.
int64_t Modified(const fs::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mtim.tv_sec : -1;
}

size_t FileCount(const fs::path& folder) {
    return std::distance(fs::directory_iterator(folder), fs::directory_iterator());
}

bool WaitUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

// A window on the test thread that records every icon announcement.
struct IconWindow {
    ~IconWindow() { hvDestroyWindowHandle(hwnd); }
    static LRESULT Proc(void* self, HWND, UINT msg, WPARAM, LPARAM lParam) {
        if (msg == UWM_ICON_READY) {
            static_cast<IconWindow*>(self)->packages.emplace_back(reinterpret_cast<char*>(lParam));
            static_cast<IconWindow*>(self)->onIcon();
        }
        return 0;
    }

    const HWND hwnd = hvCreateWindowHandle(&Proc, this);
    std::vector<std::string> packages;
    std::function<void()> onIcon = [] {};
};

enum class Server { Service, Nginx };

class ArtThreadTest : public ::testing::TestWithParam<Server> {
  protected:
    void SetUp() override {
        fs::create_directories(m_tmp);
        // Read by the thread object when it is made, so set before any of them.
        ::setenv("TMPDIR", m_tmp.c_str(), 1);
    }
    void TearDown() override {
        m_oldTmp.empty() ? ::unsetenv("TMPDIR") : ::setenv("TMPDIR", m_oldTmp.c_str(), 1);
    }

    // The address of the server's folder, served from m_content.
    std::string Start(Server server, const std::string& folder = "art",
                      const std::vector<std::string>& options = {}) {
        if (server == Server::Service) {
            m_service = std::make_unique<hvtest::ServiceProcess>(m_content, m_dir.Path() / "svc.db",
                                                                 options);
            return m_service->Url() + "/" + folder + "/";
        }
        m_nginx = std::make_unique<hvtest::NginxProcess>(m_dir.Path() / "nginx", m_content);
        EXPECT_TRUE(m_nginx->Ready()) << "nginx did not start";
        return m_nginx->Url() + "/" + folder + "/";
    }

    // A record whose art the server and the cache hold under its title.
    GameInfo& AddGame(const std::string& package, const std::string& title) {
        return testcat::Add(m_records, {package, title, "1"}, m_cache.string() + "/");
    }

    // Runs a thread to its end; returns its exit code.
    static DWORD RunToEnd(CGameInfoThread& thread) {
        EXPECT_TRUE(thread.CreateThread());
        EXPECT_TRUE(thread.Wait(kRunLimitMs));
        return thread.ExitCode();
    }

    static const CxImage* Icon(GameInfo& game) {
        std::lock_guard lock(game.m_csIcon);
        return game.m_pIconImage.get();
    }

    hvtest::TempDir m_dir;
    const fs::path m_tmp = m_dir.Path() / "tmp";
    const fs::path m_content = m_dir.Path() / "content";
    // Deeper than anything that exists yet: the thread makes the folders.
    const fs::path m_cache = m_dir.Path() / "client" / "cache" / "art";
    const std::string m_oldTmp = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
    std::unique_ptr<hvtest::ServiceProcess> m_service;
    std::unique_ptr<hvtest::NginxProcess> m_nginx;
    GameList m_records;
};

TEST_F(ArtThreadTest, CachedIconsAreDecodedBeforeTheWaiterIsReleased) {
    const std::string address = Start(Server::Service);
    // Cached icon, and the picture the record should hold once it is released.
    const struct {
        const char* name;
        std::optional<std::string> cached;
        uint32_t width, height;  // 0: no picture
    } cases[] = {{"good", Jpeg(24, 12), 24, 12},
                 // No larger than a tile can show, and no file larger than an icon.
                 {"wide", Jpeg(4000, 3000), 512, 384},
                 {"tall", Jpeg(700, 2800), 128, 512},
                 {"too large", Jpeg(16, 16) + std::string(8 << 20, '\0'), 0, 0},
                 {"broken", "not a picture", 0, 0},
                 {"missing", std::nullopt, 1, 1}};  // keeps what it has
    for (const auto& icon : cases) {
        GameInfo& game = AddGame(icon.name, icon.name);
        game.m_pIconImage = std::make_unique<CxImage>();
        game.m_pIconImage->Create(1, 1, false);
        if (icon.cached) {
            WriteFile(game.IconFile(), *icon.cached, kIconTime);
        }
    }
    const hv::UniqueHandle done(CreateEventA(nullptr, FALSE, FALSE, kGameIconsDrawDone));
    CGameInfoThread idle(nullptr, "", m_records);
    EXPECT_EQ(RunToEnd(idle), 0u);
    EXPECT_EQ(WaitForSingleObject(done.Get(), 0), WAIT_OBJECT_0) << "no address: released at once";
    EXPECT_EQ(Icon(*m_records[0])->GetWidth(), 1u) << "and nothing decoded";

    CGameInfoThread thread(nullptr, address, m_records);
    ASSERT_TRUE(thread.CreateThread());
    EXPECT_EQ(WaitForSingleObject(done.Get(), kRunLimitMs), WAIT_OBJECT_0);
    for (size_t i = 0; i < std::size(cases); ++i) {
        const CxImage* icon = Icon(*m_records[i]);
        EXPECT_EQ(icon ? icon->GetWidth() : 0, cases[i].width) << cases[i].name;
        EXPECT_EQ(icon ? icon->GetHeight() : 0, cases[i].height) << cases[i].name;
    }
    // The server has none of these: the second pass only has to end.
    EXPECT_TRUE(thread.Wait(kRunLimitMs));
    EXPECT_EQ(thread.ExitCode(), 1u);
}

TEST_P(ArtThreadTest, FetchesWhatIsNewAndOnlyThat) {
    if (GetParam() == Server::Nginx && !hvtest::NginxProcess::Installed()) {
        GTEST_SKIP() << "nginx is not installed";
    }
    const std::string address = Start(GetParam());
    const fs::path serverIcon = m_content / "art" / "Alpha Quest.jpg";
    WriteFile(serverIcon, Jpeg(24, 12), kIconTime);
    WriteFile(m_content / "art" / "Alpha Quest.txt", "A quest.", kDescTime);
    WriteFile(m_content / "art" / "Beta.txt", "No icon for this one.", kDescTime);
    GameInfo& alpha = AddGame("PKG-ALPHA", "Alpha Quest");
    const std::string betaDesc = AddGame("PKG-BETA", "Beta").DescFile();
    // Titles are sent by their own bytes; what comes back is stored under a
    // file name made of the title.
    const std::vector<std::string> titles = {"a b#c?d%e", "Caf\xC3\xA9 +&=;", "dir/y",
                                             "tab\tand\x01"};
    for (size_t i = 0; i < titles.size(); ++i) {
        WriteFile(m_content / "art" / (titles[i] + ".txt"), "about " + titles[i], kDescTime);
        AddGame("PKG-" + std::to_string(i), titles[i]);
    }
    IconWindow window;
    const struct {
        const char* name;
        std::function<void()> before;
        const char* addressEnd;
        unsigned bodies, icons, iconHeight;  // icons announced so far
        int64_t iconTime;
    } runs[] = {
        {"first, into folders that do not exist yet", {}, "   ", 7, 1, 12, kIconTime},
        {"again against the same server", {}, "", 0, 1, 12, kIconTime},
        {"a new icon on the server and a touched local description",
         [&] {
             WriteFile(serverIcon, Jpeg(10, 30), kIconTime + 500);
             WriteFile(betaDesc, "No icon for this one.", kDescTime + 1);
         },
         "", 2, 2, 30, kIconTime + 500},
        // An abandoned thread may still walk while the next file is parsed;
        // it goes on with the records as they were when it was made.
        {"a parse renames and appends records during the walk",
         [&] {
             WriteFile(serverIcon, Jpeg(10, 20), kIconTime + 900);
             WriteFile(m_content / "art" / "Renamed.txt", "Renamed", kDescTime);
             window.onIcon = [&] {
                 AddGame("pkg-beta", "Renamed");
                 AddGame("PKG-LATE", "Late");
             };
         },
         "", 1, 3, 20, kIconTime + 900},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(run.name);
        if (run.before) {
            run.before();
        }
        CGameInfoThread thread(window.hwnd, address + run.addressEnd, m_records);
        EXPECT_EQ(RunToEnd(thread), 1u);
        EXPECT_EQ(thread.BodiesFetched(), run.bodies);
        EXPECT_EQ(window.packages, std::vector<std::string>(run.icons, "PKG-ALPHA"));
        EXPECT_TRUE(ReadFile(alpha.IconFile()) == ReadFile(serverIcon)) << "byte for byte";
        EXPECT_EQ(ReadFile(alpha.DescFile()), "A quest.");
        EXPECT_EQ(ReadFile(betaDesc), "No icon for this one.");
        for (size_t i = 0; i < titles.size(); ++i) {
            EXPECT_EQ(ReadFile(m_cache / (ArtFileName(titles[i]) + ".txt")), "about " + titles[i]);
        }
        EXPECT_EQ(Modified(alpha.IconFile()), run.iconTime);
        EXPECT_EQ(Modified(betaDesc), kDescTime);
        const CxImage* icon = Icon(alpha);
        EXPECT_EQ(icon ? icon->GetHeight() : 0, run.iconHeight);
        EXPECT_TRUE(fs::is_empty(m_tmp));
        EXPECT_EQ(FileCount(m_cache), 7u) << "nothing but the fetched files in the cache";
    }
    EXPECT_EQ(PercentEncodeSegment("Az09-._~ /#?%+\x01\xC3\xA9"),
              "Az09-._~%20%2F%23%3F%25%2B%01%C3%A9");
}

INSTANTIATE_TEST_SUITE_P(Servers, ArtThreadTest, ::testing::Values(Server::Service, Server::Nginx),
                         [](const auto& info) {
                             return info.param == Server::Service ? "Service" : "Nginx";
                         });

TEST_F(ArtThreadTest, AnswerWithoutLastModifiedIsNeverStored) {
    if (!hvtest::NginxProcess::Installed()) {
        GTEST_SKIP() << "nginx is not installed";
    }
    const std::string address = Start(Server::Nginx, "nolm");
    WriteFile(m_content / "nolm" / "Gamma.jpg", Jpeg(8, 8), kIconTime);
    WriteFile(m_content / "nolm" / "Gamma.txt", "Gamma.", kDescTime);
    ASSERT_EQ(hvtest::Http("GET", address + "Gamma.txt").body, "Gamma.") << "served at all";
    AddGame("PKG-GAMMA", "Gamma");

    CGameInfoThread thread(nullptr, address, m_records);
    EXPECT_EQ(RunToEnd(thread), 1u);
    EXPECT_EQ(thread.BodiesFetched(), 0u);
    EXPECT_EQ(FileCount(m_cache), 0u) << "the folders are made before the attempt";
}

TEST_F(ArtThreadTest, StoppedOrAbandonedDuringADownloadKeepsTheOldFile) {
    // About a minute for the icon, so the stop always lands in the middle.
    const std::string address = Start(Server::Service, "art", {"--throttle-bps", "4096"});
    WriteFile(m_content / "art" / "Slow.jpg", std::string(256 * 1024, 'x'), kIconTime);
    // As the frame does for a thread it gave up on, the records are kept for
    // good: nothing tells when the worker has let go of them.
    const std::string slowIcon = AddGame("PKG-SLOW", "Slow").IconFile();
    static GameList* const kept = new GameList(std::move(m_records));
    WriteFile(slowIcon, "the old icon", kIconTime - 100);

    for (const bool abandon : {false, true}) {
        auto thread = std::make_unique<CGameInfoThread>(nullptr, address, *kept);
        ASSERT_TRUE(thread->CreateThread());
        ASSERT_TRUE(WaitUntil([&thread] { return thread->BodiesFetched() > 0; }));
        if (abandon) {
            thread.reset();
        } else {
            EXPECT_TRUE(thread->Stop());
            EXPECT_EQ(thread->ExitCode(), 0u);
        }
        // An abandoned worker still cleans up after itself.
        EXPECT_TRUE(WaitUntil([this] { return fs::is_empty(m_tmp); }));
    }
    EXPECT_EQ(ReadFile(slowIcon), "the old icon");
    EXPECT_EQ(Modified(slowIcon), kIconTime - 100);
    EXPECT_EQ(FileCount(m_cache), 1u) << "no partial copy beside the old file";
}

TEST_F(ArtThreadTest, StopAskedWhileAnIconIsAnnouncedEndsBeforeTheNextFile) {
    const std::string address = Start(Server::Service);
    for (const char* title : {"One", "Two", "Three"}) {
        WriteFile(m_content / "art" / (std::string(title) + ".jpg"), Jpeg(8, 8), kIconTime);
        WriteFile(m_content / "art" / (std::string(title) + ".txt"), title, kDescTime);
        AddGame(std::string("PKG-") + title, title);
    }
    IconWindow window;
    CGameInfoThread thread(window.hwnd, address, m_records);
    // The worker is inside SendMessage here, so this can only ask, not wait.
    window.onIcon = [&thread] { EXPECT_FALSE(thread.Stop(0)); };

    EXPECT_EQ(RunToEnd(thread), 0u);
    EXPECT_EQ(window.packages, std::vector<std::string>{"PKG-One"});
    EXPECT_EQ(thread.BodiesFetched(), 1u);
    EXPECT_EQ(FileCount(m_cache), 1u) << "neither its description nor the next icon";
}

}  // namespace
