// The art thread against real HTTP servers on loopback: the reference service
// and, when installed, nginx serving the same folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "catalogue/GameInfoThread.h"
#include "image/TestImages.h"
#include "messages/Messages.h"
#include "net/PercentEncode.h"
#include "service/ServiceHarness.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Bounds for things that normally take milliseconds; only a hang reaches them.
constexpr DWORD kRunLimitMs = 120000;
constexpr auto kPollLimit = 120s;

constexpr int64_t kIconTime = 1600000000;
constexpr int64_t kDescTime = 1600000100;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, const std::string& bytes, int64_t modified) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    const timespec times[2] = {{modified, 0}, {modified, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

std::string Jpeg(uint32_t width, uint32_t height) {
    const auto bytes = testimg::SolidJpeg(width, height, 200, 40, 90, false);
    return {bytes.begin(), bytes.end()};
}

// Seconds since 1970 of the file's last change; -1 when there is no file.
int64_t Modified(const fs::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mtim.tv_sec : -1;
}

// Every regular file below root, by path relative to it, with its bytes;
// files under the skipped top-level names are left out.
std::map<std::string, std::string> Snapshot(const fs::path& root,
                                            const std::set<std::string>& skip = {}) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const fs::path relative = fs::relative(entry.path(), root);
        if (entry.is_regular_file() && !skip.count(relative.begin()->string())) {
            files[relative.string()] = ReadFile(entry.path());
        }
    }
    return files;
}

bool WaitUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + kPollLimit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// A window on the test thread that records every icon announcement.
class IconWindow {
  public:
    IconWindow() : m_hwnd(hvCreateWindowHandle(&IconWindow::Proc, this)) {}
    ~IconWindow() { hvDestroyWindowHandle(m_hwnd); }
    IconWindow(const IconWindow&) = delete;
    IconWindow& operator=(const IconWindow&) = delete;

    HWND Handle() const { return m_hwnd; }
    const std::vector<std::string>& Packages() const { return m_packages; }
    std::function<void()> onIcon;

  private:
    static LRESULT Proc(void* context, HWND, UINT msg, WPARAM, LPARAM lParam) {
        auto* self = static_cast<IconWindow*>(context);
        if (msg == UWM_ICON_READY) {
            self->m_packages.emplace_back(reinterpret_cast<const char*>(lParam));
            if (self->onIcon) {
                self->onIcon();
            }
        }
        return 0;
    }

    HWND m_hwnd;
    std::vector<std::string> m_packages;
};

enum class Server { Service, Nginx };

class ArtThreadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const char* old = std::getenv("TMPDIR")) {
            m_oldTmp = old;
        }
        fs::create_directories(m_tmp);
        fs::create_directories(m_content / "art");
        // Read by the thread object when it is made, so set before any of them.
        ::setenv("TMPDIR", m_tmp.c_str(), 1);
    }
    void TearDown() override {
        if (m_oldTmp) {
            ::setenv("TMPDIR", m_oldTmp->c_str(), 1);
        } else {
            ::unsetenv("TMPDIR");
        }
    }

    // The address of the server's folder, served from m_content.
    std::string Start(Server server, const std::string& folder = "art",
                      const std::vector<std::string>& options = {}) {
        if (server == Server::Service) {
            m_service = std::make_unique<hvtest::ServiceProcess>(m_content, m_dir.Path() / "svc.db",
                                                                 options);
            EXPECT_FALSE(m_service->Url().empty());
            return m_service->Url() + "/" + folder + "/";
        }
        m_nginx = std::make_unique<hvtest::NginxProcess>(m_dir.Path() / "nginx", m_content);
        EXPECT_TRUE(m_nginx->Ready()) << "nginx did not start";
        return m_nginx->Url() + "/" + folder + "/";
    }

    GameInfo& AddGame(const std::string& package, const std::string& title,
                      const std::string& localName) {
        auto game = std::make_unique<GameInfo>();
        game->m_strPackage = package;
        game->m_strTitle = title;
        game->m_nType = 1;
        game->m_strIconFile = m_cache.string() + "/" + localName + ".jpg";
        game->m_strDescFile = m_cache.string() + "/" + localName + ".txt";
        m_records.push_back(std::move(game));
        return *m_records.back();
    }

    // Runs a thread to its end; returns its exit code.
    DWORD RunToEnd(CGameInfoThread& thread) {
        EXPECT_TRUE(thread.CreateThread());
        EXPECT_TRUE(thread.Wait(kRunLimitMs));
        return thread.ExitCode();
    }

    static const CxImage* Icon(GameInfo& game) {
        std::lock_guard lock(game.m_csIcon);
        return game.m_pIconImage.get();
    }

    bool TempFolderEmpty() const { return fs::is_empty(m_tmp); }

    bool DownloadUnderway() const {
        for (const auto& entry : fs::directory_iterator(m_tmp)) {
            std::error_code ec;
            if (entry.is_regular_file(ec) && entry.file_size(ec) > 0) {
                return true;
            }
        }
        return false;
    }

    hvtest::TempDir m_dir;
    const fs::path m_tmp = m_dir.Path() / "tmp";
    const fs::path m_content = m_dir.Path() / "content";
    // Deeper than anything that exists yet: the thread makes the folders.
    const fs::path m_cache = m_dir.Path() / "client" / "cache" / "art";
    std::optional<std::string> m_oldTmp;
    std::unique_ptr<hvtest::ServiceProcess> m_service;
    std::unique_ptr<hvtest::NginxProcess> m_nginx;
    GameList m_records;
};

class ArtThreadServerTest : public ArtThreadTest, public ::testing::WithParamInterface<Server> {
  protected:
    void SetUp() override {
        ArtThreadTest::SetUp();
        if (GetParam() == Server::Nginx && !hvtest::NginxProcess::Installed()) {
            GTEST_SKIP() << "nginx is not installed";
        }
    }
};

TEST_F(ArtThreadTest, EmptyAddressReleasesTheWaiterAndTouchesNothing) {
    AddGame("PKG-A", "Alpha", "alpha");
    HANDLE done = CreateEventA(nullptr, FALSE, FALSE, kGameIconsDrawDone);
    CGameInfoThread thread(nullptr, "", m_records);

    EXPECT_EQ(RunToEnd(thread), 0u);
    EXPECT_EQ(WaitForSingleObject(done, 0), WAIT_OBJECT_0);
    CloseHandle(done);
    EXPECT_FALSE(fs::exists(m_cache.parent_path())) << "no download was attempted";
}

TEST_F(ArtThreadTest, CachedIconsAreDecodedBeforeTheWaiterIsReleased) {
    const std::string address = Start(Server::Service);
    GameInfo& good = AddGame("PKG-GOOD", "Good", "good");
    GameInfo& broken = AddGame("PKG-BROKEN", "Broken", "broken");
    GameInfo& missing = AddGame("PKG-MISSING", "Missing", "missing");
    WriteFile(good.m_strIconFile, Jpeg(24, 12), kIconTime);
    WriteFile(broken.m_strIconFile, "not a picture", kIconTime);
    broken.m_pIconImage = std::make_unique<CxImage>();
    missing.m_pIconImage = std::make_unique<CxImage>();
    const CxImage* kept = missing.m_pIconImage.get();

    HANDLE done = CreateEventA(nullptr, FALSE, FALSE, kGameIconsDrawDone);
    CGameInfoThread thread(nullptr, address, m_records);
    ASSERT_TRUE(thread.CreateThread());
    EXPECT_EQ(WaitForSingleObject(done, kRunLimitMs), WAIT_OBJECT_0);
    CloseHandle(done);
    // The server has none of these, so the second pass leaves the icons be.
    const CxImage* icon = Icon(good);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->GetWidth(), 24u);
    EXPECT_EQ(icon->GetHeight(), 12u);
    EXPECT_EQ(Icon(broken), nullptr) << "an icon that does not decode leaves no picture";
    EXPECT_EQ(Icon(missing), kept) << "a record without a cached icon keeps what it has";

    EXPECT_TRUE(thread.Wait(kRunLimitMs));
    EXPECT_EQ(thread.ExitCode(), 1u);
    EXPECT_EQ(thread.BodiesFetched(), 0u);
}

TEST_P(ArtThreadServerTest, FetchesWhatIsNewAndOnlyThat) {
    const std::string address = Start(GetParam());
    WriteFile(m_content / "art" / "Alpha Quest.jpg", Jpeg(24, 12), kIconTime);
    WriteFile(m_content / "art" / "Alpha Quest.txt", "A quest.", kDescTime);
    WriteFile(m_content / "art" / "Beta.txt", "No icon for this one.", kDescTime);
    GameInfo& alpha = AddGame("PKG-ALPHA", "Alpha Quest", "alpha");
    GameInfo& beta = AddGame("PKG-BETA", "Beta", "beta");
    IconWindow window;

    {
        SCOPED_TRACE("first run, into folders that do not exist yet, address ending in blanks");
        CGameInfoThread thread(window.Handle(), address + "   ", m_records);
        EXPECT_EQ(RunToEnd(thread), 1u);
        EXPECT_EQ(thread.BodiesFetched(), 3u);
        EXPECT_EQ(window.Packages(), std::vector<std::string>{"PKG-ALPHA"});
        EXPECT_TRUE(ReadFile(alpha.m_strIconFile) ==
                    ReadFile(m_content / "art" / "Alpha Quest.jpg"))
            << "the icon arrives byte for byte";
        EXPECT_EQ(ReadFile(alpha.m_strDescFile), "A quest.");
        EXPECT_EQ(ReadFile(beta.m_strDescFile), "No icon for this one.");
        EXPECT_FALSE(fs::exists(beta.m_strIconFile));
        EXPECT_EQ(Modified(alpha.m_strIconFile), kIconTime);
        EXPECT_EQ(Modified(alpha.m_strDescFile), kDescTime);
        const CxImage* icon = Icon(alpha);
        ASSERT_NE(icon, nullptr);
        EXPECT_EQ(icon->GetWidth(), 24u);
        EXPECT_TRUE(TempFolderEmpty());
        EXPECT_EQ(Snapshot(m_cache).size(), 3u) << "nothing but the three files in the cache";
    }
    {
        SCOPED_TRACE("second run against the same server");
        CGameInfoThread thread(window.Handle(), address, m_records);
        EXPECT_EQ(RunToEnd(thread), 1u);
        EXPECT_EQ(thread.BodiesFetched(), 0u);
        EXPECT_EQ(window.Packages().size(), 1u);
    }
    {
        SCOPED_TRACE("a new icon on the server and a touched local description");
        WriteFile(m_content / "art" / "Alpha Quest.jpg", Jpeg(10, 30), kIconTime + 500);
        WriteFile(beta.m_strDescFile, "No icon for this one.", kDescTime + 1);
        CGameInfoThread thread(window.Handle(), address, m_records);
        EXPECT_EQ(RunToEnd(thread), 1u);
        EXPECT_EQ(thread.BodiesFetched(), 2u);
        EXPECT_EQ(window.Packages().size(), 2u);
        EXPECT_EQ(Modified(alpha.m_strIconFile), kIconTime + 500);
        EXPECT_EQ(Modified(beta.m_strDescFile), kDescTime);
        EXPECT_EQ(Modified(alpha.m_strDescFile), kDescTime);
        const CxImage* icon = Icon(alpha);
        ASSERT_NE(icon, nullptr);
        EXPECT_EQ(icon->GetHeight(), 30u);
    }
}

TEST_P(ArtThreadServerTest, TitlesAreSentByTheirOwnBytesAndStoredOnlyUnderTheirLocalNames) {
    const std::string address = Start(GetParam());
    const std::vector<std::string> titles = {"a b#c?d%e", "Caf\xC3\xA9 +&=;", "dir/y",
                                             "tab\tand\x01", "../x"};
    for (size_t i = 0; i + 1 < titles.size(); ++i) {
        WriteFile(m_content / "art" / (titles[i] + ".txt"), "about " + titles[i], kDescTime);
        AddGame("PKG-" + std::to_string(i), titles[i], "t" + std::to_string(i));
    }
    WriteFile(m_content / "x.txt", "beside the art folder", kDescTime);
    GameInfo& climber = AddGame("PKG-CLIMB", titles.back(), "climb");
    // The servers' own logs and database may change; nothing else but the cache.
    const std::set<std::string> serverState = {"nginx", "svc.db", "svc.db-wal", "svc.db-shm"};
    const auto before = Snapshot(m_dir.Path(), serverState);

    CGameInfoThread thread(nullptr, address, m_records);
    EXPECT_EQ(RunToEnd(thread), 1u);

    for (size_t i = 0; i + 1 < titles.size(); ++i) {
        EXPECT_EQ(ReadFile(m_records[i]->m_strDescFile), "about " + titles[i]) << titles[i];
    }
    // The service refuses to climb out of its art folder; nginx resolves the
    // title to the file it names. Either way the copy lands under its own name.
    if (fs::exists(climber.m_strDescFile)) {
        EXPECT_EQ(ReadFile(climber.m_strDescFile), "beside the art folder");
    }
    auto after = Snapshot(m_dir.Path(), serverState);
    for (const auto& [path, bytes] : before) {
        EXPECT_EQ(after[path], bytes) << path << " was changed";
    }
    for (const auto& [path, bytes] : after) {
        const bool inCache = fs::path(path).parent_path() == fs::relative(m_cache, m_dir.Path());
        EXPECT_TRUE(before.count(path) || inCache) << path << " was written outside the cache";
    }
}

INSTANTIATE_TEST_SUITE_P(Servers, ArtThreadServerTest,
                         ::testing::Values(Server::Service, Server::Nginx), [](const auto& info) {
                             return info.param == Server::Service ? "Service" : "Nginx";
                         });

TEST(PercentEncodeSegment, KeepsOnlyUnreservedBytes) {
    EXPECT_EQ(PercentEncodeSegment("Az09-._~ /#?%+\x01\xC3\xA9"),
              "Az09-._~%20%2F%23%3F%25%2B%01%C3%A9");
}

TEST_F(ArtThreadTest, AnswerWithoutLastModifiedIsNeverStored) {
    if (!hvtest::NginxProcess::Installed()) {
        GTEST_SKIP() << "nginx is not installed";
    }
    const std::string address = Start(Server::Nginx, "nolm");
    WriteFile(m_content / "nolm" / "Gamma.jpg", Jpeg(8, 8), kIconTime);
    WriteFile(m_content / "nolm" / "Gamma.txt", "Gamma.", kDescTime);
    ASSERT_EQ(hvtest::Http("GET", address + "Gamma.txt").body, "Gamma.") << "served at all";
    GameInfo& gamma = AddGame("PKG-GAMMA", "Gamma", "gamma");

    CGameInfoThread thread(nullptr, address, m_records);
    EXPECT_EQ(RunToEnd(thread), 1u);
    EXPECT_EQ(thread.BodiesFetched(), 0u);
    EXPECT_FALSE(fs::exists(gamma.m_strIconFile));
    EXPECT_FALSE(fs::exists(gamma.m_strDescFile));
    EXPECT_TRUE(fs::is_directory(m_cache)) << "the folders are made before the attempt";
}

TEST_F(ArtThreadTest, StoppedOrAbandonedDuringADownloadKeepsTheOldFile) {
    // About a minute for the icon, so the stop always lands in the middle.
    const std::string address = Start(Server::Service, "art", {"--throttle-bps", "4096"});
    std::string big(256 * 1024, '\0');
    for (size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<char>(i * 7 + 3);
    }
    WriteFile(m_content / "art" / "Slow.jpg", big, kIconTime);
    GameInfo& slow = AddGame("PKG-SLOW", "Slow", "slow");
    WriteFile(slow.m_strIconFile, "the old icon", kIconTime - 100);
    // As the frame does for a thread it gave up on, the records are kept for
    // good: nothing tells when the worker has let go of them.
    static GameList* const kept = new GameList;
    kept->push_back(std::move(m_records.back()));
    m_records.pop_back();

    CGameInfoThread stopped(nullptr, address, *kept);
    ASSERT_TRUE(stopped.CreateThread());
    ASSERT_TRUE(WaitUntil([this] { return DownloadUnderway(); }));
    EXPECT_TRUE(stopped.Stop());
    EXPECT_EQ(stopped.ExitCode(), 0u);
    EXPECT_TRUE(TempFolderEmpty());

    auto abandoned = std::make_unique<CGameInfoThread>(nullptr, address, *kept);
    ASSERT_TRUE(abandoned->CreateThread());
    ASSERT_TRUE(WaitUntil([this] { return DownloadUnderway(); }));
    abandoned.reset();
    // The abandoned worker still cleans up after itself.
    EXPECT_TRUE(WaitUntil([this] { return TempFolderEmpty(); }));

    EXPECT_EQ(ReadFile(kept->back()->m_strIconFile), "the old icon");
    EXPECT_EQ(Modified(kept->back()->m_strIconFile), kIconTime - 100);
    EXPECT_FALSE(fs::exists(kept->back()->m_strDescFile));
    EXPECT_EQ(Snapshot(m_cache).size(), 1u) << "no partial copy beside the old file";
}

TEST_F(ArtThreadTest, StopAskedWhileAnIconIsAnnouncedEndsBeforeTheNextFile) {
    const std::string address = Start(Server::Service);
    for (const char* title : {"One", "Two", "Three"}) {
        WriteFile(m_content / "art" / (std::string(title) + ".jpg"), Jpeg(8, 8), kIconTime);
        WriteFile(m_content / "art" / (std::string(title) + ".txt"), title, kDescTime);
        AddGame(std::string("PKG-") + title, title, title);
    }
    IconWindow window;
    CGameInfoThread thread(window.Handle(), address, m_records);
    // The worker is inside SendMessage here, so this can only ask, not wait.
    window.onIcon = [&thread] { EXPECT_FALSE(thread.Stop(0)); };

    ASSERT_TRUE(thread.CreateThread());
    EXPECT_TRUE(thread.Wait(kRunLimitMs));
    EXPECT_EQ(thread.ExitCode(), 0u);
    EXPECT_EQ(window.Packages(), std::vector<std::string>{"PKG-One"});
    EXPECT_EQ(thread.BodiesFetched(), 1u);
    EXPECT_FALSE(fs::exists(m_records[0]->m_strDescFile));
    EXPECT_FALSE(fs::exists(m_records[1]->m_strIconFile));
}

}  // namespace
