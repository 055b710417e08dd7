// The engine library against a real halvory-service on loopback. The test
// thread plays the client's user-interface thread: it owns the frame window,
// answers the engine's questions and pumps messages while workers call in.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <iterator>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <ranges>
#include <string>
#include <string_view>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "Content.h"
#include "Http.h"
#include "ServiceHarness.h"
#include "SmallDisk.h"
#include "TarBuilder.h"
#include "halvory/engine.h"
#include "net/PercentEncode.h"
#include "trust/PackageManifest.h"
#include "winapi/UniqueHandle.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using hvtest::File;
using hvtest::ReadFile;

// The exports, resolved by name as the client does.
void* const g_library = ::dlopen(HV_ENGINE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
template <typename Fn>
Fn Export(const char* name) {
    return g_library ? reinterpret_cast<Fn>(::dlsym(g_library, name)) : nullptr;
}
const auto hvInit = Export<PFN_hv_Init>("hv_Init");
const auto hvShutdown = Export<PFN_hv_Shutdown>("hv_Shutdown");
const auto hvLogin = Export<PFN_hv_LoginA>("hv_LoginA");
const auto hvCancelLogin = Export<PFN_hv_CancelLogin>("hv_CancelLogin");
const auto hvLogOut = Export<PFN_hv_LogOut>("hv_LogOut");
const auto hvAccountUrl = Export<PFN_hv_GetSMSLoginURL>("hv_GetSMSLoginURL");
const auto hvDownload = Export<PFN_hv_DownloadA>("hv_DownloadA");
const auto hvCancel = Export<PFN_hv_CancelA>("hv_CancelA");
const auto hvRemove = Export<PFN_hv_DeletePkgA>("hv_DeletePkgA");
const auto hvPlay = Export<PFN_hv_PlayGameA>("hv_PlayGameA");
const auto hvSetGamePath = Export<PFN_hv_SetGamePath>("hv_SetGamePath");

// The suite's one service, with users for every login answer.
struct Service {
    hvtest::TempDir root;
    hvtest::TestContent content{root.Path()};
    hvtest::ServiceProcess process{content.root, root.Path() / "service.db"};
    const fs::path rover = content.root / "packages/rover.tar";  // put back after each test
    const std::string roverTar = ReadFile(rover);

    int Admin(const std::vector<std::string>& args) const { return process.Admin(args); }
    void Faults(const std::string& settings) const { ASSERT_EQ(process.Faults(settings), 200); }
};
std::unique_ptr<Service> g_service;

// The notifications whose lParam is a text.
constexpr UINT kTextMessages[] = {UWM_ASK_PLAY_NOW,    UWM_PACKAGE_ON_DISK, UWM_PACKAGE_GONE,
                                  UWM_ASK_STORAGE,     UWM_DISK_FULL,       UWM_ENGINE_FAILED,
                                  UWM_CONFIRM_PURCHASE};

struct Message {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    std::string text;  // the text parameter of the messages that carry one
    TransferProgress progress{};
    std::chrono::steady_clock::time_point at{};  // when the frame got it
};

class ServiceSuite : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        g_service = std::make_unique<Service>();
        for (const char* user : {"alice", "bob", "dave", "erin"}) {
            g_service->Admin({"add-user", user, "secret"});
        }
        g_service->Admin({"add-user", "carol", "secret", "--no-subscription"});
        g_service->Admin({"suspend", "bob"});
        g_service->Admin({"deny-billing", "dave"});
    }

    static void TearDownTestSuite() { g_service.reset(); }

    void SetUp() override {
        ASSERT_FALSE(Url().empty());
        ASSERT_NE(hvInit, nullptr) << ::dlerror();
        m_previousDir = fs::current_path();
        m_work = std::make_unique<hvtest::TempDir>();
        fs::current_path(m_work->Path());
        ::setenv("HALVORY_LOG_FILE", (m_work->Path() / "halvory.log").c_str(), 1);
        hvtest::WriteFile("Halvory.ini", "ARTDIR=art/\nENGINE_URL=" + Url() +
                                             "/\nPACKAGEKEY=" + PackageKey().string() + "\n");
        m_window = hvCreateWindowHandle(&ServiceSuite::Proc, this);
        hvInit(m_window);
    }

    void TearDown() override {
        if (!m_work) {
            return;
        }
        // It may refer to the test's own objects, gone by now.
        m_onMessage = nullptr;
        // A test that failed half-way leaves no fault behind for the next.
        g_service->Faults("{}");
        hvtest::WriteFile(g_service->rover, g_service->roverTar);
        hvShutdown();
        hvDispatchPending();
        hvDestroyWindowHandle(m_window);
        ::unsetenv("HALVORY_LOG_FILE");
        fs::current_path(m_previousDir);
        m_work.reset();
    }

    static std::string Url() { return g_service->process.Url(); }
    static const fs::path& PackageKey() { return g_service->process.PackageKey(); }

    static std::string AccountUrl() {
        char url[HV_BUFFER_SIZE] = {};
        hvAccountUrl(url);
        return url;
    }

    // Starts the engine again on another service.
    void UseService(const std::string& url, const std::string& caFile = {},
                    const fs::path& packageKey = PackageKey()) {
        hvShutdown();
        hvtest::WriteFile("Halvory.ini", "ENGINE_URL=" + url + "\nCAFILE=" + caFile +
                                             "\nPACKAGEKEY=" + packageKey.string() + "\n");
        hvInit(m_window);
    }

    static LRESULT Proc(void* context, HWND, UINT msg, WPARAM wParam, LPARAM lParam) {
        auto* self = static_cast<ServiceSuite*>(context);
        Message m{msg, wParam, lParam, {}, {}, std::chrono::steady_clock::now()};
        if (msg == UWM_ENGINE_PROGRESS) {
            m.progress = *reinterpret_cast<const TransferProgress*>(lParam);
        } else if (std::ranges::count(kTextMessages, msg) > 0) {
            m.text = reinterpret_cast<const char*>(lParam);
        }
        if (msg == UWM_CONFIRM_PURCHASE) {
            m.text = reinterpret_cast<const char*>(wParam) + ("|" + m.text);
        }
        // Runs while a sending engine thread waits for the answer.
        if (self->m_onMessage) {
            self->m_onMessage(m);
        }
        self->m_messages.push_back(m);
        switch (msg) {
            case UWM_CONFIRM_PURCHASE: return self->m_purchaseAnswer;
            case UWM_ASK_STORAGE:
                if (self->m_storage.empty()) {
                    return 0;
                }
                hvSetGamePath(self->m_storage.c_str());
                return 1;
            case UWM_ASK_PLAY_NOW: return self->m_playNow;
        }
        return 0;
    }

    // Pumps the window's messages until done() holds or the time is up.
    bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 20s) {
        auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            if (hvDispatchPending() == 0) {
                std::this_thread::sleep_for(2ms);
            }
        }
        hvDispatchPending();
        return true;
    }

    bool PumpUntilReady(const std::future<int>& result, std::chrono::milliseconds limit = 20s) {
        return PumpUntil([&] { return result.wait_for(0s) == std::future_status::ready; }, limit);
    }

    // The text the engine gives with HV_DL_ENGINE_TEXT goes to m_text.
    std::future<int> StartDownload(const std::string& package, const std::string& title) {
        return std::async(std::launch::async, [this, package, title] {
            char buffer[HV_BUFFER_SIZE] = {};
            const int code = hvDownload(package.c_str(), title.c_str(), 1, buffer);
            m_text = buffer;
            return code;
        });
    }

    int Login(const std::string& user, const std::string& password = "secret") {
        auto result = std::async(std::launch::async,
                                 [&] { return hvLogin(user.c_str(), password.c_str(), 1); });
        EXPECT_TRUE(PumpUntilReady(result));
        return result.get();
    }

    int Download(const std::string& package, const std::string& title = "Space Race") {
        auto result = StartDownload(package, title);
        EXPECT_TRUE(PumpUntilReady(result));
        return result.get();
    }

    // Every such message, in the order they came.
    std::vector<Message> All(UINT msg) const {
        std::vector<Message> all;
        std::ranges::copy_if(m_messages, std::back_inserter(all),
                             [msg](const Message& m) { return m.msg == msg; });
        return all;
    }

    int Count(UINT msg) const { return static_cast<int>(All(msg).size()); }

    // The first (or last) such message; if none came, one that no check accepts.
    Message Got(UINT msg, bool last = false) const {
        const auto all = All(msg);
        return all.empty() ? Message{0, ~WPARAM{0}, -1, "(none)", {}, {}}
                           : (last ? all.back() : all.front());
    }

    bool WaitFor(UINT msg, std::chrono::milliseconds limit = 20s) {
        return PumpUntil([&] { return Count(msg) > 0; }, limit);
    }

    // The screen's bar and counts move only forward through one transfer,
    // whatever its phase, retries and resumes.
    void ExpectFiguresNeverGoBack() const {
        const auto records = All(UWM_ENGINE_PROGRESS);
        ASSERT_FALSE(records.empty());
        for (std::size_t i = 1; i < records.size(); ++i) {
            const TransferProgress& was = records[i - 1].progress;
            const TransferProgress& is = records[i].progress;
            SCOPED_TRACE(testing::Message() << "record " << i << " in state " << is.lState);
            EXPECT_GE(is.lPercent, was.lPercent);
            EXPECT_GE(is.lDone, was.lDone);
            EXPECT_EQ(is.lTotal, was.lTotal);
        }
    }

    // What the first progress report of a resumed transfer must count at least.
    void ExpectResumedFrom(std::uintmax_t kept) const {
        EXPECT_GE(static_cast<std::uintmax_t>(Got(UWM_ENGINE_PROGRESS).progress.lDone),
                  kept / 1024);
    }

    std::string InstallPath(const std::string& name = "Space Race") const {
        return (m_work->Path() / "games" / name).string();
    }

    fs::path m_previousDir;
    std::unique_ptr<hvtest::TempDir> m_work;
    HWND m_window = nullptr;
    std::vector<Message> m_messages;
    LRESULT m_purchaseAnswer = 0;
    LRESULT m_playNow = 0;
    std::string m_storage, m_text;
    std::function<void(const Message&)> m_onMessage;
};

// A session's account page comes by a fresh link that works once and stays
// out of the log; without a session, a page says it is unavailable.
TEST_F(ServiceSuite, LoginAnswersEachAccountStateOpensTheAccountPageAndCanBeCancelled) {
    const std::string loggedOut = AccountUrl();
    EXPECT_EQ(loggedOut.rfind("data:text/html,", 0), 0u) << loggedOut;
    EXPECT_NE(loggedOut.find("Account%20page%20unavailable"), std::string::npos) << loggedOut;
    UseService("http://127.0.0.1:9");
    EXPECT_EQ(Login("alice"), HV_LOGIN_UNREACHABLE);
    UseService(Url());
    const std::tuple<const char*, const char*, int> answers[] = {
        {"nobody", "secret", HV_LOGIN_NO_SUCH_USER},
        {"alice", "wrong", HV_LOGIN_ACCESS_DENIED},
        {"bob", "secret", HV_LOGIN_SUSPENDED},
        {"carol", "secret", HV_LOGIN_NO_SUBSCRIPTION}};
    for (const auto& [user, password, code] : answers) {
        EXPECT_EQ(Login(user, password), code) << user;
    }
    EXPECT_FALSE(fs::exists("moviedata.txt"));
    ASSERT_EQ(g_service->Admin({"set-required-version", "9999"}), 0);
    EXPECT_EQ(Login("alice"), HV_LOGIN_OLD_VERSION);
    ASSERT_EQ(g_service->Admin({"set-required-version", "0"}), 0);

    ASSERT_EQ(Login("alice"), HV_LOGIN_OK);
    const std::string catalogue = ReadFile("moviedata.txt");
    EXPECT_NE(catalogue.find("Space Race"), std::string::npos);
    EXPECT_NE(catalogue.find("SPACE-D"), std::string::npos);
    const std::string link = AccountUrl();
    ASSERT_EQ(link.rfind(Url() + "/account?token=", 0), 0u) << link;
    EXPECT_NE(AccountUrl(), link);
    auto page = hvtest::Http("GET", link);
    EXPECT_EQ(page.status, 200);
    EXPECT_NE(page.body.find("<td>alice</td>"), std::string::npos);
    EXPECT_EQ(hvtest::Http("GET", link).status, 410);
    const std::string log = ReadFile(m_work->Path() / "halvory.log");
    EXPECT_EQ(log.find(link.substr(link.find("token=") + 6)), std::string::npos);

    g_service->Faults(R"({"login_delay_ms": 10000})");
    auto result = std::async(std::launch::async, [] { return hvLogin("alice", "secret", 1); });
    std::this_thread::sleep_for(300ms);
    auto start = std::chrono::steady_clock::now();
    hvCancelLogin();
    ASSERT_EQ(result.wait_for(2s), std::future_status::ready);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_EQ(result.get(), HV_LOGIN_CANCELLED);
}

// A published catalogue is news that replaces the file; the operator's other
// commands end the session, each told with its reason, a closed session by a
// message of its own.
TEST_F(ServiceSuite, PublishedCatalogueIsNewsAndForcedLogoutsCarryTheirReason) {
    ASSERT_EQ(Login("alice"), HV_LOGIN_OK);
    const fs::path file = g_service->content.root / "catalogue.json";
    const auto original = hv::service::LoadGames(file);
    auto games = original;
    games.push_back(games.front());
    games.back().package = "MOON";
    games.back().title = "Moon Base";
    for (const auto& published : {games, original}) {
        m_messages.clear();
        hv::service::SaveGames(file, published);
        ASSERT_EQ(g_service->Admin({"publish-catalogue"}), 0);
        ASSERT_TRUE(WaitFor(UWM_CATALOGUE_READY));
        EXPECT_EQ(ReadFile("moviedata.txt").find("Moon Base") != std::string::npos,
                  published.size() > original.size());
    }
    EXPECT_EQ(Count(UWM_SESSION_CLOSED) + Count(UWM_FORCED_LOGOUT), 0);
    EXPECT_EQ(Download("NO-SUCH-PACKAGE"), HV_DL_NOT_AVAILABLE);

    using Command = std::vector<std::string>;
    // The operator's command, its undoing, and the reason the frame hears.
    const std::vector<std::tuple<Command, Command, LPARAM>> cases = {
        {{"suspend", "alice"}, {"resume", "alice"}, HV_LOGOUT_SUSPENDED},
        {{"set-password", "alice", "changed"},
         {"set-password", "alice", "secret"},
         HV_LOGOUT_PASSWORD_CHANGED},
        {{"set-required-version", "9999"},
         {"set-required-version", "0"},
         HV_LOGOUT_VERSION_CHANGED},
        {{"close-sessions", "alice"}, {}, 0},
    };
    for (const auto& [command, undo, reason] : cases) {
        SCOPED_TRACE(command[0]);
        m_messages.clear();
        ASSERT_EQ(Login("alice"), HV_LOGIN_OK);
        ASSERT_EQ(g_service->Admin(command), 0);
        const UINT msg = reason ? UWM_FORCED_LOGOUT : UWM_SESSION_CLOSED;
        ASSERT_TRUE(WaitFor(msg, 15s));
        EXPECT_EQ(Got(msg).lParam, reason);
        if (!undo.empty()) {
            ASSERT_EQ(g_service->Admin(undo), 0);
        }
    }
}

// Over TLS the engine trusts only the authority its settings name; with
// another, it reaches nothing. hv_SetGamePath refuses a folder whose last part
// is not a plain name or that leads upwards, keeping the one given before;
// without one the download says why instead of installing elsewhere.
TEST_F(ServiceSuite, DemoInstallsOverTlsWithoutPurchaseInAPlainFolderAndReportsEachStep) {
    const hvtest::TestCertificates ours{m_work->Path() / "ours"};
    const hvtest::TestCertificates other{m_work->Path() / "other"};
    hvtest::ServiceProcess tls{g_service->content.root, m_work->Path() / "tls.db",
                               ours.ServeArgs()};
    ASSERT_EQ(tls.Admin({"add-user", "alice", "secret"}), 0);
    UseService(tls.Url(), other.ca.string());
    EXPECT_EQ(Login("alice"), HV_LOGIN_UNREACHABLE);
    UseService(tls.Url(), ours.ca.string(), tls.PackageKey());
    ASSERT_EQ(Login("alice"), HV_LOGIN_OK);
    const std::string games = (m_work->Path() / "games").string();
    for (const std::string& bad : {games + "/x/../y", games + "/..", games + "/.", games + "/"}) {
        EXPECT_NE(hvSetGamePath(bad.c_str()), 0) << bad;
        m_storage = bad;
        EXPECT_EQ(Download("SPACE-D"), HV_DL_ENGINE_TEXT) << bad;
        EXPECT_EQ(m_text,
                  "The folder chosen for Space Race cannot be used. Please choose "
                  "another location.");
    }
    EXPECT_FALSE(fs::exists(games));
    const std::string demo = InstallPath("Space Race Demo");
    m_onMessage = [&](const Message& m) {
        if (m.msg == UWM_ASK_STORAGE) {
            hvSetGamePath(demo.c_str());
        }
    };
    ASSERT_EQ(Download("SPACE-D"), HV_DL_OK);

    ASSERT_TRUE(WaitFor(UWM_DOWNLOAD_DONE));
    EXPECT_EQ(Count(UWM_CONFIRM_PURCHASE), 0);
    EXPECT_EQ(Got(UWM_ASK_STORAGE).wParam, 1u);
    EXPECT_EQ(Count(UWM_ENGINE_STATE), 1);
    EXPECT_EQ(Got(UWM_ASK_PLAY_NOW).text, "Space Race");
    EXPECT_EQ(Got(UWM_PACKAGE_ON_DISK).wParam, 1u);
    EXPECT_EQ(Got(UWM_PACKAGE_ON_DISK).text, "SPACE-D");
    EXPECT_EQ(ReadFile(demo + "/readme.txt"), "Space Race\n");
    EXPECT_FALSE(fs::exists(demo + ".hvpart"));
    EXPECT_FALSE(fs::exists(demo + ".hvstaging"));
    EXPECT_EQ(Download("SPACE-D"), HV_DL_ALREADY_COMPLETE);
    EXPECT_EQ(Download("NO-SUCH-PACKAGE"), HV_DL_NOT_AVAILABLE);

    // The install survives a restart of the engine and is announced at login.
    hvShutdown();
    hvInit(m_window);
    m_messages.clear();
    ASSERT_EQ(Login("alice"), HV_LOGIN_OK);
    EXPECT_EQ(Got(UWM_PACKAGE_ON_DISK).text, "SPACE-D");

    hvRemove("SPACE-D");
    ASSERT_TRUE(WaitFor(UWM_PACKAGE_GONE));
    EXPECT_EQ(Got(UWM_PACKAGE_GONE).wParam, 1u);
    EXPECT_EQ(Got(UWM_PACKAGE_GONE).text, "SPACE-D");
    EXPECT_FALSE(fs::exists(demo));
    EXPECT_NE(hvPlay("Space Race", "alice", "secret"), 0);
}

// The first confirmation is the dialog's answer, the second a named event;
// the storage question is declined. Once bought, play is offered before the
// end; cancelled by the user, the transfer keeps its bytes to resume from.
TEST_F(ServiceSuite, PurchaseAnswersDecideAndTheGameIsPlayedBeforeTheEnd) {
    enum class Second { None, Buy, DoNotBuy, Cancel };
    struct Case {
        const char* user;
        LRESULT dialog;
        Second second;
        int code, purchaseQuestions, storageQuestions;
    };
    const std::vector<Case> cases = {
        {"dave", 1, Second::Buy, HV_DL_BILLING_DENIED, 1, 0},
        {"dave", 1, Second::Cancel, HV_DL_ABORTED, 1, 0},
        {"erin", 0, Second::None, HV_DL_DECLINED, 1, 0},
        {"erin", 1, Second::DoNotBuy, HV_DL_DECLINED, 1, 0},
        {"erin", 1, Second::Buy, HV_DL_DECLINED, 1, 1},
        {"erin", 1, Second::None, HV_DL_DECLINED, 0, 1},  // owned by now
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.user << " " << static_cast<int>(c.second));
        ASSERT_EQ(Login(c.user), HV_LOGIN_OK);
        m_messages.clear();
        m_purchaseAnswer = c.dialog;
        auto result = StartDownload("SPACE", "Space Race");
        if (c.second != Second::None) {
            ASSERT_TRUE(WaitFor(UWM_CONFIRM_PURCHASE));
            if (c.second == Second::Cancel) {
                hvCancel(nullptr);
            } else {
                const hv::UniqueHandle event(CreateEventA(
                    nullptr, TRUE, FALSE,
                    c.second == Second::Buy ? HV_PURCHASE_EVENT : HV_NO_PURCHASE_EVENT));
                SetEvent(event.Get());
            }
        }
        ASSERT_TRUE(PumpUntilReady(result, c.second == Second::Cancel ? 2s : 20s));
        EXPECT_EQ(result.get(), c.code);
        EXPECT_EQ(Count(UWM_CONFIRM_PURCHASE), c.purchaseQuestions);
        EXPECT_EQ(Count(UWM_ASK_STORAGE), c.storageQuestions);
        if (c.purchaseQuestions > 0) {
            EXPECT_EQ(Got(UWM_CONFIRM_PURCHASE).text, "19.99|Space Race");
        }
    }

    g_service->Faults(R"({"throttle_bps": 100000})");
    m_storage = InstallPath();
    m_playNow = 1;
    m_messages.clear();
    ASSERT_EQ(Download("SPACE"), HV_DL_OK);
    EXPECT_EQ(Download("SPACE"), HV_DL_ONE_AT_A_TIME);

    ASSERT_TRUE(WaitFor(UWM_ASK_PLAY_NOW));
    // The last seconds to play counted down, then play offered with nothing left.
    ASSERT_EQ(Count(UWM_ENGINE_STATE), 2);
    EXPECT_GE(Got(UWM_ENGINE_STATE).wParam, 1u);
    EXPECT_LE(Got(UWM_ENGINE_STATE).wParam, 3u);
    EXPECT_EQ(Got(UWM_ENGINE_STATE, true).wParam, 0u);
    ASSERT_TRUE(WaitFor(UWM_GAME_CLOSED, 10s));
    EXPECT_EQ(ReadFile(m_storage + ".hvstaging/started.txt"), "started\n");
    EXPECT_EQ(Count(UWM_DOWNLOAD_DONE), 0);

    // The transfer thread may be sending to this very thread meanwhile.
    auto start = std::chrono::steady_clock::now();
    hvCancel("SPACE");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    const std::uintmax_t kept = fs::file_size(m_storage + ".hvpart");
    EXPECT_GT(kept, 0u);
    EXPECT_FALSE(fs::exists(m_storage + ".hvstaging"));

    g_service->Faults("{}");
    m_playNow = 0;
    m_messages.clear();
    ASSERT_EQ(Download("SPACE"), HV_DL_OK);
    ASSERT_TRUE(WaitFor(UWM_DOWNLOAD_DONE));
    ExpectResumedFrom(kept);
    EXPECT_EQ(ReadFile(m_storage + "/data/level.dat"), g_service->content.level);
    EXPECT_EQ(Got(UWM_PACKAGE_ON_DISK).wParam, 0u);
    EXPECT_EQ(Got(UWM_PACKAGE_ON_DISK).text, "SPACE");
    // The last record of the transfer, before the unpacking, shows it whole.
    const auto records = All(UWM_ENGINE_PROGRESS);
    const auto extracting = std::ranges::find(records, HV_STATE_EXTRACTING,
                                              [](const Message& m) { return m.progress.lState; });
    ASSERT_NE(extracting, records.begin());
    EXPECT_EQ(std::prev(extracting)->progress.lPercent, 100);

    m_messages.clear();
    EXPECT_EQ(hvPlay("space race", "erin", "secret"), 0);
    ASSERT_TRUE(WaitFor(UWM_GAME_CLOSED, 10s));
    hvRemove("SPACE");
}

// On a steady line the time to play foretells when the playable part is
// ready, also for a transfer resumed from bytes already on disk whose
// connection then drops once before the playable part; once the line is
// back, the transfer is shown restored.
TEST_F(ServiceSuite, TimeToPlayForetellsWhenThePlayablePartIsReady) {
    ASSERT_EQ(Login("alice"), HV_LOGIN_OK);
    m_storage = InstallPath("Rover");
    const auto kept = static_cast<std::size_t>(g_service->content.playableBytes / 3);
    hvtest::WriteFile(m_storage + ".hvpart", g_service->roverTar.substr(0, kept));
    // Slow enough that seconds of predictions lie between the outage and the
    // countdown, even on a loaded machine.
    g_service->Faults(R"({"throttle_bps": 20000, "drop_after_bytes": 10000})");
    m_onMessage = [&](const Message& m) {
        if (m.progress.lState == HV_STATE_RETRYING) {
            g_service->Faults(R"({"throttle_bps": 20000})");
        }
    };
    ASSERT_EQ(Download("ROVER", "Rover"), HV_DL_OK);
    ASSERT_TRUE(WaitFor(UWM_ASK_PLAY_NOW));
    const auto ready = Got(UWM_ASK_PLAY_NOW).at;
    // One record more from the same line, to see the time gone.
    ASSERT_TRUE(PumpUntil([&] { return All(UWM_ENGINE_PROGRESS).back().at > ready; }));
    g_service->Faults("{}");
    ASSERT_TRUE(WaitFor(UWM_DOWNLOAD_DONE));
    m_onMessage = nullptr;
    ExpectResumedFrom(kept);
    ExpectFiguresNeverGoBack();
    const auto records = All(UWM_ENGINE_PROGRESS);
    const auto state = [](const Message& m) { return m.progress.lState; };
    const auto retry = std::ranges::find(records, HV_STATE_RETRYING, state);
    ASSERT_NE(retry, records.end());
    EXPECT_NE(std::ranges::find(retry, records.end(), HV_STATE_RESTORED, state), records.end());

    // Nothing can foretell an outage, and the engine gives no time before it
    // has measured a second of the line: predictions count from then on.
    auto since = records.front().at + 1500ms;
    for (const Message& m : records) {
        if (m.progress.lState == HV_STATE_RETRYING) {
            since = std::max(since, m.at);
        }
    }
    // The last seconds are told once, to be counted down; the records after
    // that give no time.
    const Message countdown = Got(UWM_ENGINE_STATE);
    ASSERT_GE(countdown.wParam, 1u);
    ASSERT_LE(countdown.wParam, 3u);
    std::vector<std::pair<std::chrono::steady_clock::time_point, int>> predictions;
    for (const Message& m : records) {
        if (m.at >= countdown.at || m.at >= ready) {
            EXPECT_EQ(m.progress.lSecondsToPlay, 0) << "after the countdown began";
        } else if (m.at > since) {
            predictions.emplace_back(m.at, m.progress.lSecondsToPlay);
        }
    }
    predictions.emplace_back(countdown.at, static_cast<int>(countdown.wParam));
    for (const auto& [at, seconds] : predictions) {
        const double left = std::chrono::duration<double>(ready - at).count();
        // Whole seconds rounded up: n stands for the half second below it.
        EXPECT_LE(std::abs(seconds - 0.5 - left), std::max(0.25 * left, 1.0))
            << seconds << " s when " << left << " s were left";
    }
    EXPECT_GE(predictions.size(), 3u);
    hvRemove("ROVER");
}

// Too little room before the transfer is told by the code alone, which the
// frame shows; a disk that fills during it, by UWM_DISK_FULL.
TEST_F(ServiceSuite, FullDiskIsToldOnceAndKeepsTheInstallAndTheBytesForLater) {
    hvtest::SmallDisk disk(4 << 20);
    ASSERT_EQ(disk.Error(), "");
    ASSERT_EQ(Login("alice"), HV_LOGIN_OK);
    m_storage = disk.Path() + "/games/Rover";
    disk.Fill();
    EXPECT_EQ(Download("ROVER", "Rover"), HV_DL_DISK_FULL);
    EXPECT_EQ(Count(UWM_DISK_FULL) + Count(UWM_ENGINE_PROGRESS), 0);
    EXPECT_FALSE(fs::exists(disk.Path() + "/games"));
    disk.Unfill();
    ASSERT_EQ(Download("ROVER", "Rover"), HV_DL_OK);
    ASSERT_TRUE(WaitFor(UWM_DOWNLOAD_DONE));
    ASSERT_EQ(ReadFile(m_storage + "/data/level.dat"), g_service->content.level);

    // An update comes out; the disk fills up while it arrives.
    const fs::path archive = g_service->rover;
    hvtest::WriteFile(archive.string() + ".new",
                      hvtest::MakeTar({File("bin/game.sh", "#!/bin/sh\nexit 0\n", 0755),
                                       File("readme.txt", "Rover 2\n"),
                                       File("bin/assets.dat", std::string(200000, 'y')),
                                       File("data/level.dat", std::string(650000, 'u'))}));
    fs::rename(archive.string() + ".new", archive);
    m_messages.clear();
    g_service->Faults(R"({"throttle_bps": 100000})");
    m_onMessage = [&](const Message& m) {
        // Once a few blocks are checked and unpacked, so that their room comes
        // free for the bytes kept.
        if (m.msg == UWM_ENGINE_PROGRESS && m.progress.lDone >= 300 && disk.FreeBytes() > 0) {
            disk.Fill();
        }
    };
    ASSERT_EQ(Download("ROVER", "Rover"), HV_DL_OK);
    ASSERT_TRUE(
        PumpUntil([&] { return Count(UWM_ENGINE_CANCEL) + Count(UWM_DOWNLOAD_DONE) > 0; }, 60s));
    m_onMessage = nullptr;
    g_service->Faults("{}");
    EXPECT_EQ(Count(UWM_DOWNLOAD_DONE) + Count(UWM_ENGINE_FAILED), 0);
    EXPECT_EQ(Got(UWM_DISK_FULL).text, "Rover");
    EXPECT_EQ(Count(UWM_PACKAGE_GONE), 0);
    hvCancel("ROVER");  // what the frame does on UWM_ENGINE_CANCEL

    // The old version is untouched and still plays.
    EXPECT_EQ(ReadFile(m_storage + "/data/level.dat"), g_service->content.level);
    EXPECT_FALSE(fs::exists(m_storage + ".hvstaging"));
    m_messages.clear();
    EXPECT_EQ(hvPlay("Rover", "alice", "secret"), 0);
    ASSERT_TRUE(WaitFor(UWM_GAME_CLOSED));

    // With room again the update resumes from the bytes kept and replaces it.
    ASSERT_TRUE(fs::exists(m_storage + ".hvpart"));
    const std::uintmax_t kept = fs::file_size(m_storage + ".hvpart");
    EXPECT_GT(kept, 0u);
    disk.Unfill();
    m_messages.clear();
    ASSERT_EQ(Download("ROVER", "Rover"), HV_DL_OK);
    ASSERT_TRUE(WaitFor(UWM_DOWNLOAD_DONE));
    ExpectResumedFrom(kept);
    EXPECT_EQ(ReadFile(m_storage + "/readme.txt"), "Rover 2\n");
    EXPECT_EQ(ReadFile(m_storage + "/data/level.dat"), std::string(650000, 'u'));
    EXPECT_FALSE(fs::exists(m_storage + ".hvpart"));
    EXPECT_FALSE(fs::exists(m_storage + ".hvold"));
    hvRemove("ROVER");
}

// Each fault strikes once hv_DownloadA has said the transfer started (or,
// for 0, just before): the frame is told why before it hears of the cancel
// (or, for a game that could not be started, of its end), and nothing is
// installed from a failed transfer; damaged blocks are never used.
TEST_F(ServiceSuite, FailuresOnceTheTransferRunsAreToldFirst) {
    ASSERT_EQ(Login("alice"), HV_LOGIN_OK);
    const fs::path& archive = g_service->rover;
    const std::string& tar = g_service->roverTar;
    m_storage = InstallPath("Rover");
    // The question at which the fault strikes, the fault, the text, the news
    // after it.
    const std::vector<std::tuple<UINT, std::function<void()>, std::string, UINT>> cases = {
        // Signed as it is, and still no archive.
        {0, [&] { hvtest::WriteFile(archive, std::string(tar.size() + 512, 'x')); },
         "The download of Rover is damaged and cannot be installed. Please "
         "try again.",
         UWM_ENGINE_CANCEL},
        {UWM_ASK_STORAGE, [&] { fs::remove(archive); },
         "Rover is no longer available for download. Please try again later.", UWM_ENGINE_CANCEL},
        {UWM_ASK_PLAY_NOW, [&] { fs::remove(m_storage + ".hvstaging/bin/game.sh"); },
         "Rover could not be started: its program bin/game.sh cannot be run (No such "
         "file or directory).",
         UWM_GAME_CLOSED},
    };
    for (const auto& [when, fault, text, then] : cases) {
        SCOPED_TRACE(text);
        m_messages.clear();
        m_playNow = when == UWM_ASK_PLAY_NOW;
        m_onMessage = [&](const Message& m) {
            if (m.msg == when) {
                fault();
            }
        };
        if (when == 0) {
            fault();
        }
        ASSERT_EQ(Download("ROVER", "Rover"), HV_DL_OK);
        // Sent, so the frame has it before the posted news.
        ASSERT_TRUE(WaitFor(then));
        EXPECT_EQ(Got(UWM_ENGINE_FAILED).text, text);
        m_onMessage = nullptr;
        hvtest::WriteFile(archive, tar);
        hvRemove("ROVER");
        EXPECT_FALSE(fs::exists(m_storage));
    }
}

TEST_F(ServiceSuite, DamagedBlocksAreFetchedAgainAndNeverUsed) {
    ASSERT_EQ(Login("alice"), HV_LOGIN_OK);
    m_storage = InstallPath("Rover");
    // Every block is checked against the service's signed manifest before it
    // is unpacked or counted: one damaged on the way is fetched again, one
    // that stays damaged ends the download with nothing installed or run, and
    // a manifest the engine's key does not vouch for is refused before
    // anything is asked.
    const std::string assets(200000, 'z');
    const auto damaged = [&] {
        const std::string log = ReadFile(m_work->Path() / "halvory.log");
        return std::ranges::distance(std::views::split(log, std::string_view("arrived damaged"))) -
               1;
    };

    // Damaged once, inside the playable part: the game is offered on checked
    // bytes only.
    g_service->Faults(R"({"throttle_bps": 400000, "flip_byte_at": 100000, "flip_times": 1})");
    std::string assetsWhenAsked;
    m_onMessage = [&](const Message& m) {
        if (m.msg == UWM_ASK_PLAY_NOW) {
            assetsWhenAsked = ReadFile(m_storage + ".hvstaging/bin/assets.dat");
        }
    };
    ASSERT_EQ(Download("ROVER", "Rover"), HV_DL_OK);
    ASSERT_TRUE(WaitFor(UWM_DOWNLOAD_DONE));
    EXPECT_EQ(damaged(), 1);
    // Compared whole, not printed: the files are large.
    EXPECT_TRUE(assetsWhenAsked == assets);
    EXPECT_TRUE(ReadFile(m_storage + "/bin/assets.dat") == assets);
    EXPECT_TRUE(ReadFile(m_storage + "/data/level.dat") == g_service->content.level);
    EXPECT_EQ(Count(UWM_ENGINE_FAILED), 0);
    ExpectFiguresNeverGoBack();
    hvRemove("ROVER");

    // Damaged in every answer, in the block that ends the playable part: the
    // checked blocks before it stay for later, and the game is never offered.
    m_messages.clear();
    g_service->Faults(R"({"flip_byte_at": 200000})");
    ASSERT_EQ(Download("ROVER", "Rover"), HV_DL_OK);
    ASSERT_TRUE(WaitFor(UWM_ENGINE_CANCEL));
    EXPECT_EQ(Got(UWM_ENGINE_FAILED).text,
              "The download of Rover kept arriving damaged and has been stopped. Please "
              "try again later.");
    EXPECT_EQ(damaged(), 4);
    EXPECT_EQ(Count(UWM_ASK_PLAY_NOW) + Count(UWM_DOWNLOAD_DONE), 0);
    EXPECT_FALSE(fs::exists(m_storage));
    EXPECT_FALSE(fs::exists(m_storage + ".hvstaging"));
    const std::string part = m_storage + ".hvpart";
    ASSERT_EQ(fs::file_size(part), 3u * 65536);

    // A resume checks the kept bytes again: from a block changed on the disk on.
    std::string kept = ReadFile(part);
    kept[70000] ^= 1;
    hvtest::WriteFile(part, kept);
    m_messages.clear();
    g_service->Faults("{}");
    ASSERT_EQ(Download("ROVER", "Rover"), HV_DL_OK);
    ASSERT_TRUE(WaitFor(UWM_DOWNLOAD_DONE));
    ExpectResumedFrom(65536);
    EXPECT_LT(Got(UWM_ENGINE_PROGRESS).progress.lDone, 70);
    EXPECT_TRUE(ReadFile(m_storage + "/bin/assets.dat") == assets);
    hvRemove("ROVER");

    // Signed with another key, or no key to check with: refused at once.
    const fs::path otherKey = m_work->Path() / "other.pub";
    hvtest::WriteFile(otherKey, hv::NewSigningKey().value().publicPem);
    for (const fs::path& key : {otherKey, fs::path()}) {
        SCOPED_TRACE(key.string());
        UseService(Url(), {}, key);
        ASSERT_EQ(Login("alice"), HV_LOGIN_OK);
        m_messages.clear();
        EXPECT_EQ(Download("ROVER", "Rover"), HV_DL_ENGINE_TEXT);
        EXPECT_EQ(m_text,
                  "The download of Rover was refused: it could not be verified as the "
                  "package the service published.");
        EXPECT_EQ(Count(UWM_ASK_STORAGE), 0);
        EXPECT_FALSE(fs::exists(m_storage + ".hvpart"));
    }
}

// Against a stand-in service: a token that could end the header line it goes
// into, or is no token at all, ends the login; an account page that does not
// come in time gives the page that says so; polls answered at once are made
// less and less often, a logout still ends the watcher at once, and once the
// service is gone the failed polls are logged without the session.
TEST_F(ServiceSuite, AStandInServiceGetsNoStrangeTokenNoLongWaitAndNoLoop) {
    std::mutex mutex;
    std::string token;  // under mutex
    std::atomic<int> named{0}, polls{0};
    std::atomic<bool> release{false};
    httplib::Server fake;
    const auto answer = [&](const httplib::Request& req, httplib::Response& res) {
        named += req.method == "GET" && req.has_header("X-Session");
        polls += req.path == "/api/events";
        for (int i = 0; req.path == "/api/account-page" && !release && i < 500; ++i) {
            std::this_thread::sleep_for(20ms);
        }
        std::lock_guard lock(mutex);
        const auto body = req.path == "/api/login" ? nlohmann::json{{"session", token}}
                                                   : nlohmann::json{{"event", "none"}};
        res.set_content(body.dump(), "application/json");
    };
    fake.Get(".*", answer);
    fake.Post(".*", answer);
    const int port = fake.bind_to_any_port("127.0.0.1");
    std::jthread serving([&fake] { fake.listen_after_bind(); });
    // Stopped before the thread is joined, however the test ends.
    const std::unique_ptr<httplib::Server, void (*)(httplib::Server*)> stop(
        &fake, [](httplib::Server* server) { server->stop(); });
    UseService("http://127.0.0.1:" + std::to_string(port));
    const std::pair<std::string, int> cases[] = {
        {"s\r\nX-Admin-Token: t", HV_LOGIN_COMMUNICATION_LOST},
        {"two words", HV_LOGIN_COMMUNICATION_LOST},
        {std::string(257, 's'), HV_LOGIN_COMMUNICATION_LOST},
        {"", HV_LOGIN_COMMUNICATION_LOST},
        {std::string(256, 'S'), HV_LOGIN_OK},
    };
    for (const auto& [given, code] : cases) {
        {
            std::lock_guard lock(mutex);
            token = given;
        }
        named = 0;
        EXPECT_EQ(Login("alice"), code) << given;
        EXPECT_EQ(named > 0, code == HV_LOGIN_OK) << given;
    }
    // The wait for the page, some three seconds, sees polls at 0, 0.25, 0.75
    // and 1.75 s; the next would come at 3.75 s.
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(AccountUrl().rfind("data:text/html,", 0), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 4s);
    release = true;
    start = std::chrono::steady_clock::now();
    hvLogOut();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
    EXPECT_GE(polls, 3);
    EXPECT_LE(polls, 5);

    ASSERT_EQ(Login("alice"), HV_LOGIN_OK);
    fake.stop();
    ASSERT_TRUE(WaitFor(UWM_CONNECTION_LOST));
    EXPECT_EQ(Download("SPACE-D"), HV_DL_CONNECTION_LOST);
    const std::string log = ReadFile(m_work->Path() / "halvory.log");
    EXPECT_NE(log.find("/api/events failed"), std::string::npos);
    EXPECT_EQ(log.find(std::string(256, 'S')), std::string::npos);
    EXPECT_EQ(log.find("secret"), std::string::npos);
}

// Never from https to http, and a request with a body (a password in it) goes
// on only within its origin: the same host under another name is another.
TEST_F(ServiceSuite, RedirectsKeepTheSchemeAndTheBodyAtHome) {
    const std::vector<std::tuple<const char*, const char*, bool, bool>> rules = {
        // from, to, with a body, followed
        {"https://a.test/x", "http://a.test/y", false, false},
        {"https://a.test/x", "https://b.test/y", false, true},
        {"https://a.test/x", "https://A.test:443/y", true, true},
        {"https://a.test/x", "https://a.test:8443/y", true, false},
        {"http://a.test/x", "https://a.test/y", true, false},
    };
    for (const auto& [from, to, body, followed] : rules) {
        EXPECT_EQ(hv::RedirectAllowed(from, to, body), followed) << from << " -> " << to;
    }
    const std::string port = Url().substr(Url().rfind(':'));
    for (const auto& [host, status] : {std::pair{"127.0.0.1", 200L}, {"localhost", 0L}}) {
        hv::HttpRequest request{
            Url() + "/admin/redirect?status=307&to=" +
                PercentEncodeSegment("http://" + std::string(host) + port + "/api/login"),
            R"({"user": "alice", "password": "secret", "player_version": "1,0,0,1"})"};
        request.headers = {std::string("X-Admin-Token: ") + hvtest::ServiceProcess::kAdminToken};
        EXPECT_EQ(hv::HttpPerform(request, nullptr).status, status) << host;
    }
}

}  // namespace
