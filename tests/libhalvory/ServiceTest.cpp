// The engine library against a real halvory-service on loopback. The test
// thread plays the client's user-interface thread: it owns the frame window,
// answers the engine's questions and pumps messages while workers call in.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <future>
#include <nlohmann/json.hpp>
#include <thread>

#include "Http.h"
#include "SmallDisk.h"
#include "TarBuilder.h"
#include "halvory/engine.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using hvtest::File;
using hvtest::ReadFile;
using hvtest::TarEntry;

constexpr const char* kToken = "test-admin-token";

// Runs a program and returns its exit status; stdout goes to out when given.
int RunProgram(const std::vector<std::string>& args, std::string* out = nullptr,
        pid_t* background = nullptr) {
    int fds[2];
    if (::pipe(fds) != 0) {
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::vector<char*> argv;
    for (const auto& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        return -1;
    }
    if (background) {
        // Read the first line only; the process keeps running.
        std::string line;
        char c;
        while (::read(fds[0], &c, 1) == 1 && c != '\n') {
            line += c;
        }
        ::close(fds[0]);
        if (out) {
            *out = line;
        }
        *background = pid;
        return 0;
    }
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0) {
        if (out) {
            out->append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Engine {
    PFN_hv_Init init;
    PFN_hv_Shutdown shutdown;
    PFN_hv_LoginA login;
    PFN_hv_CancelLogin cancelLogin;
    PFN_hv_LogOut logOut;
    PFN_hv_GetSMSLoginURL accountUrl;
    PFN_hv_DownloadA download;
    PFN_hv_CancelA cancel;
    PFN_hv_DeletePkgA remove;
    PFN_hv_PlayGameA play;
    PFN_hv_SetGamePath setGamePath;

    static const Engine& Get() {
        static Engine engine = [] {
            void* lib = ::dlopen(HV_ENGINE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
            if (!lib) {
                throw std::runtime_error(::dlerror());
            }
            auto sym = [lib](const char* name) { return ::dlsym(lib, name); };
            Engine e{};
            e.init = reinterpret_cast<PFN_hv_Init>(sym("hv_Init"));
            e.shutdown = reinterpret_cast<PFN_hv_Shutdown>(sym("hv_Shutdown"));
            e.login = reinterpret_cast<PFN_hv_LoginA>(sym("hv_LoginA"));
            e.cancelLogin = reinterpret_cast<PFN_hv_CancelLogin>(sym("hv_CancelLogin"));
            e.logOut = reinterpret_cast<PFN_hv_LogOut>(sym("hv_LogOut"));
            e.accountUrl = reinterpret_cast<PFN_hv_GetSMSLoginURL>(sym("hv_GetSMSLoginURL"));
            e.download = reinterpret_cast<PFN_hv_DownloadA>(sym("hv_DownloadA"));
            e.cancel = reinterpret_cast<PFN_hv_CancelA>(sym("hv_CancelA"));
            e.remove = reinterpret_cast<PFN_hv_DeletePkgA>(sym("hv_DeletePkgA"));
            e.play = reinterpret_cast<PFN_hv_PlayGameA>(sym("hv_PlayGameA"));
            e.setGamePath = reinterpret_cast<PFN_hv_SetGamePath>(sym("hv_SetGamePath"));
            return e;
        }();
        return engine;
    }
};

struct Message {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    std::string text;  // the text parameter of the messages that carry one
    TransferProgress progress{};
};

// One service for the whole suite: content with a demo, a priced game whose
// playable part comes first, and users for every login answer.
class ServiceSuite : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (::access(HV_SERVICE_BINARY, X_OK) != 0) {
            return;
        }
        root = new hvtest::TempDir;
        const std::string content = root->Path() + "/content";
        fs::create_directories(content + "/packages");
        std::vector<TarEntry> playable = {File("bin/game.sh",
                                               "#!/bin/sh\necho started > started.txt\nexec sleep "
                                               "\"${HV_TEST_GAME_SECONDS:-0.3}\"\n",
                                               0755),
                                          File("readme.txt", "Space Race\n"),
                                          File("bin/assets.dat", std::string(200000, 'z'))};
        std::vector<TarEntry> all = playable;
        std::string level;
        for (unsigned i = 0; i < 600000; ++i) {
            level += static_cast<char>('a' + (i * 7919u) % 26);
        }
        all.push_back(File("data/level.dat", level));
        gameTar = hvtest::MakeTar(all);
        playableBytes = hvtest::MakeTar(playable).size() - 1024;
        demoTar = hvtest::MakeTar(playable);
        hvtest::WriteFile(content + "/packages/space.tar", gameTar);
        hvtest::WriteFile(content + "/packages/space-demo.tar", demoTar);
        nlohmann::json games = {{"games",
                                 {{{"package", "SPACE"},
                                   {"title", "Space Race"},
                                   {"type", 1},
                                   {"categories", "Action"},
                                   {"price", "19.99"},
                                   {"pair", "space"},
                                   {"archive", "space.tar"},
                                   {"program", "bin/game.sh"},
                                   {"playable_bytes", playableBytes}},
                                  {{"package", "SPACE-D"},
                                   {"title", "Space Race"},
                                   {"type", 3},
                                   {"categories", "Action"},
                                   {"price", "0"},
                                   {"pair", "space"},
                                   {"archive", "space-demo.tar"},
                                   {"program", "bin/game.sh"},
                                   {"playable_bytes", demoTar.size()}},
                                  // Free, and its archive changes between versions.
                                  {{"package", "ROVER"},
                                   {"title", "Rover"},
                                   {"type", 1},
                                   {"categories", "Racing"},
                                   {"price", "0"},
                                   {"pair", ""},
                                   {"archive", "rover.tar"},
                                   {"program", "bin/game.sh"},
                                   {"playable_bytes", playableBytes}}}}};
        hvtest::WriteFile(content + "/packages/rover.tar", gameTar);
        hvtest::WriteFile(content + "/catalogue.json", games.dump());
        db = root->Path() + "/service.db";
        Admin({"add-user", "alice", "secret"});
        Admin({"add-user", "bob", "secret"});
        Admin({"add-user", "carol", "secret", "--no-subscription"});
        Admin({"add-user", "dave", "secret"});
        Admin({"add-user", "erin", "secret"});
        Admin({"suspend", "bob"});
        Admin({"deny-billing", "dave"});
        StartService();
    }

    static void StartService() {
        std::string line;
        RunProgram({HV_SERVICE_BINARY, "serve", "--content", root->Path() + "/content", "--db", db,
             "--listen", "127.0.0.1:" + std::to_string(port), "--admin-token", kToken},
            &line, &servicePid);
        auto at = line.find("http://");
        if (at != std::string::npos) {
            baseUrl = line.substr(at);
            port = std::stoi(baseUrl.substr(baseUrl.rfind(':') + 1));
        }
    }

    static void StopService() {
        if (servicePid > 0) {
            ::kill(servicePid, SIGTERM);
            for (int waited = 0; ::waitpid(servicePid, nullptr, WNOHANG) == 0; waited += 50) {
                if (waited >= 10000) {
                    ::kill(servicePid, SIGKILL);
                    ::waitpid(servicePid, nullptr, 0);
                    break;
                }
                ::usleep(50000);
            }
            servicePid = 0;
        }
    }

    static void TearDownTestSuite() {
        StopService();
        delete root;
        root = nullptr;
    }

    static int Admin(const std::vector<std::string>& args) {
        std::vector<std::string> all = {HV_SERVICE_BINARY, "admin", "--db", db};
        all.insert(all.end(), args.begin(), args.end());
        return RunProgram(all);
    }

    static void Faults(const nlohmann::json& settings) {
        hv::HttpRequest request(baseUrl + "/admin/faults", settings.dump());
        request.headers.push_back(std::string("X-Admin-Token: ") + kToken);
        ASSERT_EQ(hv::HttpPerform(request, nullptr).status, 200);
    }

    void SetUp() override {
        if (!root || baseUrl.empty()) {
            GTEST_SKIP() << "halvory-service is not built at " HV_SERVICE_BINARY;
        }
        m_previousDir = fs::current_path();
        m_work = std::make_unique<hvtest::TempDir>();
        fs::current_path(m_work->Path());
        hvtest::WriteFile("Halvory.ini", "ARTDIR=art/\nENGINE_URL=" + baseUrl + "/\n");
        m_window = hvCreateWindowHandle(&ServiceSuite::Proc, this);
        Api().init(m_window);
    }

    void TearDown() override {
        if (!m_work) {
            return;
        }
        // It may refer to the test's own objects, gone by now.
        m_onMessage = nullptr;
        // A test that failed half-way leaves no fault behind for the next.
        Faults(nlohmann::json::object());
        if (HasFailure()) {
            for (const auto& m : m_messages) {
                std::fprintf(stderr, "  WM_USER+%u w=%lu %s state=%d done=%d/%d\n", m.msg - WM_USER,
                             static_cast<unsigned long>(m.wParam), m.text.c_str(),
                             m.progress.lState, m.progress.lDone, m.progress.lTotal);
            }
        }
        Api().shutdown();
        hvDispatchPending();
        hvDestroyWindowHandle(m_window);
        fs::current_path(m_previousDir);
        m_work.reset();
    }

    static const Engine& Api() { return Engine::Get(); }

    static LRESULT Proc(void* context, HWND, UINT msg, WPARAM wParam, LPARAM lParam) {
        auto* self = static_cast<ServiceSuite*>(context);
        Message m{msg, wParam, lParam, {}, {}};
        switch (msg) {
            case UWM_ENGINE_PROGRESS:
                m.progress = *reinterpret_cast<const TransferProgress*>(lParam);
                break;
            case UWM_CONFIRM_PURCHASE:
                m.text = reinterpret_cast<const char*>(wParam);
                m.text += "|";
                m.text += reinterpret_cast<const char*>(lParam);
                break;
            case UWM_ASK_PLAY_NOW:
            case UWM_PACKAGE_ON_DISK:
            case UWM_PACKAGE_GONE:
            case UWM_ASK_STORAGE:
            case UWM_DISK_FULL: m.text = reinterpret_cast<const char*>(lParam); break;
        }
        // Runs while a sending engine thread waits for the answer.
        if (self->m_onMessage) {
            self->m_onMessage(m);
        }
        self->m_messages.push_back(m);
        switch (msg) {
            case UWM_CONFIRM_PURCHASE:
                if (self->m_autoBuy) {
                    // The engine resets the events before it asks.
                    HANDLE yes = CreateEventA(nullptr, TRUE, FALSE, HV_PURCHASE_EVENT);
                    SetEvent(yes);
                    CloseHandle(yes);
                    return 1;
                }
                return self->m_purchaseAnswer;
            case UWM_ASK_STORAGE:
                if (self->m_storage.empty()) {
                    return 0;
                }
                Api().setGamePath(self->m_storage.c_str());
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

    template <typename F>
    auto OnWorker(F fn) {
        auto result = std::async(std::launch::async, fn);
        EXPECT_TRUE(PumpUntil([&] { return result.wait_for(0s) == std::future_status::ready; }));
        return result.get();
    }

    int Login(const std::string& user, const std::string& password = "secret") {
        return OnWorker([&] { return Api().login(user.c_str(), password.c_str(), 1); });
    }

    int Download(const std::string& package, const std::string& title = "Space Race") {
        return OnWorker([&] {
            char buffer[HV_BUFFER_SIZE] = {};
            return Api().download(package.c_str(), title.c_str(), 1, buffer);
        });
    }

    int Count(UINT msg) const {
        return static_cast<int>(std::count_if(m_messages.begin(), m_messages.end(),
                                              [msg](const Message& m) { return m.msg == msg; }));
    }

    const Message* Find(UINT msg) const {
        for (const auto& m : m_messages) {
            if (m.msg == msg) {
                return &m;
            }
        }
        return nullptr;
    }

    bool WaitFor(UINT msg, std::chrono::milliseconds limit = 20s) {
        return PumpUntil([&] { return Count(msg) > 0; }, limit);
    }

    std::string InstallPath(const std::string& name = "Space Race") const {
        return m_work->Path() + "/games/" + name;
    }

    static inline hvtest::TempDir* root = nullptr;
    static inline std::string db, baseUrl, gameTar, demoTar;
    static inline std::size_t playableBytes = 0;
    static inline pid_t servicePid = 0;
    static inline int port = 0;

    fs::path m_previousDir;
    std::unique_ptr<hvtest::TempDir> m_work;
    HWND m_window = nullptr;
    std::vector<Message> m_messages;
    LRESULT m_purchaseAnswer = 0;
    bool m_autoBuy = false;
    LRESULT m_playNow = 0;
    std::string m_storage;
    std::function<void(const Message&)> m_onMessage;
};

TEST_F(ServiceSuite, LoginAnswersEachAccountState) {
    EXPECT_EQ(Login("nobody"), HV_LOGIN_NO_SUCH_USER);
    EXPECT_EQ(Login("alice", "wrong"), HV_LOGIN_ACCESS_DENIED);
    EXPECT_EQ(Login("bob"), HV_LOGIN_SUSPENDED);
    EXPECT_EQ(Login("carol"), HV_LOGIN_NO_SUBSCRIPTION);
    EXPECT_FALSE(fs::exists("moviedata.txt"));

    ASSERT_EQ(Admin({"set-required-version", "9999"}), 0);
    EXPECT_EQ(Login("alice"), HV_LOGIN_OLD_VERSION);
    ASSERT_EQ(Admin({"set-required-version", "0"}), 0);

    ASSERT_EQ(Login("alice"), HV_LOGIN_OK);
    std::string catalogue = ReadFile("moviedata.txt");
    EXPECT_GE(catalogue.size(), 2u * 92);
    EXPECT_NE(catalogue.find("Space Race"), std::string::npos);
    EXPECT_NE(catalogue.find("SPACE-D"), std::string::npos);
    char url[HV_BUFFER_SIZE] = {};
    Api().accountUrl(url);
    EXPECT_EQ(std::string(url).rfind(baseUrl + "/pages/account.htm", 0), 0u) << url;
}

TEST_F(ServiceSuite, LoginReportsAnUnreachableServiceAndCanBeCancelled) {
    Api().shutdown();
    hvtest::WriteFile("Halvory.ini", "ENGINE_URL=http://127.0.0.1:9/\n");
    Api().init(m_window);
    EXPECT_EQ(Login("alice"), HV_LOGIN_UNREACHABLE);
    Api().shutdown();
    hvtest::WriteFile("Halvory.ini", "ENGINE_URL=" + baseUrl + "\n");
    Api().init(m_window);

    Faults({{"login_delay_ms", 10000}});
    auto result =
        std::async(std::launch::async, [] { return Api().login("alice", "secret", 1); });
    std::this_thread::sleep_for(300ms);
    auto start = std::chrono::steady_clock::now();
    Api().cancelLogin();
    ASSERT_EQ(result.wait_for(2s), std::future_status::ready);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_EQ(result.get(), HV_LOGIN_CANCELLED);
    Faults(nlohmann::json::object());
}

TEST_F(ServiceSuite, ForcedLogoutsCarryTheirReason) {
    struct Case {
        std::vector<std::string> command, undo;
        UINT msg;
        LPARAM reason;
    };
    const std::vector<Case> cases = {
        {{"suspend", "alice"}, {"resume", "alice"}, UWM_FORCED_LOGOUT, HV_LOGOUT_SUSPENDED},
        {{"set-password", "alice", "changed"},
         {"set-password", "alice", "secret"},
         UWM_FORCED_LOGOUT,
         HV_LOGOUT_PASSWORD_CHANGED},
        {{"set-required-version", "9999"},
         {"set-required-version", "0"},
         UWM_FORCED_LOGOUT,
         HV_LOGOUT_VERSION_CHANGED},
        {{"close-sessions", "alice"}, {}, UWM_SESSION_CLOSED, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command[0]);
        m_messages.clear();
        ASSERT_EQ(Login("alice"), HV_LOGIN_OK);
        ASSERT_EQ(Admin(c.command), 0);
        ASSERT_TRUE(WaitFor(c.msg, 15s));
        EXPECT_EQ(Find(c.msg)->lParam, c.reason);
        if (!c.undo.empty()) {
            ASSERT_EQ(Admin(c.undo), 0);
        }
        Api().logOut();
    }
}

TEST_F(ServiceSuite, DemoInstallsWithoutPurchaseAndReportsEachStep) {
    ASSERT_EQ(Login("alice"), HV_LOGIN_OK);
    m_storage = InstallPath("Space Race Demo");
    ASSERT_EQ(Download("SPACE-D"), HV_DL_OK);
    ASSERT_TRUE(WaitFor(UWM_DOWNLOAD_DONE));
    EXPECT_EQ(Count(UWM_CONFIRM_PURCHASE), 0);
    ASSERT_NE(Find(UWM_ASK_STORAGE), nullptr);
    EXPECT_EQ(Find(UWM_ASK_STORAGE)->wParam, 1u);
    EXPECT_EQ(Find(UWM_ASK_STORAGE)->text, "Space Race");
    EXPECT_GE(Count(UWM_ENGINE_PROGRESS), 1);
    EXPECT_EQ(Count(UWM_ENGINE_STATE), 1);
    EXPECT_EQ(Find(UWM_ASK_PLAY_NOW)->text, "Space Race");
    const Message* onDisk = Find(UWM_PACKAGE_ON_DISK);
    ASSERT_NE(onDisk, nullptr);
    EXPECT_EQ(onDisk->wParam, 1u);
    EXPECT_EQ(onDisk->text, "SPACE-D");
    EXPECT_EQ(ReadFile(m_storage + "/readme.txt"), "Space Race\n");
    EXPECT_FALSE(fs::exists(m_storage + ".hvpart"));
    EXPECT_FALSE(fs::exists(m_storage + ".hvstaging"));

    EXPECT_EQ(Download("SPACE-D"), HV_DL_ALREADY_COMPLETE);
    EXPECT_EQ(Download("NO-SUCH-PACKAGE"), HV_DL_NOT_AVAILABLE);

    // The install survives a restart of the engine and is announced at login.
    Api().shutdown();
    Api().init(m_window);
    m_messages.clear();
    ASSERT_EQ(Login("alice"), HV_LOGIN_OK);
    ASSERT_NE(Find(UWM_PACKAGE_ON_DISK), nullptr);
    EXPECT_EQ(Find(UWM_PACKAGE_ON_DISK)->text, "SPACE-D");

    Api().remove("SPACE-D");
    ASSERT_TRUE(WaitFor(UWM_PACKAGE_GONE));
    EXPECT_EQ(Find(UWM_PACKAGE_GONE)->wParam, 1u);
    EXPECT_EQ(Find(UWM_PACKAGE_GONE)->text, "SPACE-D");
    EXPECT_FALSE(fs::exists(m_storage));
    EXPECT_NE(Api().play("Space Race", "alice", "secret"), 0);
}

TEST_F(ServiceSuite, PurchaseAndStorageAnswersDecide) {
    ASSERT_EQ(Login("erin"), HV_LOGIN_OK);
    m_purchaseAnswer = 0;
    EXPECT_EQ(Download("SPACE"), HV_DL_DECLINED);
    ASSERT_NE(Find(UWM_CONFIRM_PURCHASE), nullptr);
    EXPECT_EQ(Find(UWM_CONFIRM_PURCHASE)->text, "19.99|Space Race");

    // Second confirmation: the client answers through the named events.
    m_purchaseAnswer = 1;
    for (const char* event : {HV_NO_PURCHASE_EVENT, HV_PURCHASE_EVENT}) {
        SCOPED_TRACE(event);
        m_messages.clear();
        m_storage.clear();
        auto result = std::async(std::launch::async, [] {
            char buffer[HV_BUFFER_SIZE] = {};
            return Api().download("SPACE", "Space Race", 1, buffer);
        });
        ASSERT_TRUE(WaitFor(UWM_CONFIRM_PURCHASE));
        std::this_thread::sleep_for(100ms);
        HANDLE handle = CreateEventA(nullptr, TRUE, FALSE, event);
        SetEvent(handle);
        CloseHandle(handle);
        ASSERT_TRUE(PumpUntil([&] { return result.wait_for(0s) == std::future_status::ready; }));
        // Bought or not, the storage question was declined.
        EXPECT_EQ(result.get(), HV_DL_DECLINED);
        EXPECT_EQ(Count(UWM_ASK_STORAGE), std::string(event) == HV_PURCHASE_EVENT ? 1 : 0);
    }
    // Now owned: no purchase question any more.
    m_messages.clear();
    EXPECT_EQ(Download("SPACE"), HV_DL_DECLINED);
    EXPECT_EQ(Count(UWM_CONFIRM_PURCHASE), 0);
    EXPECT_EQ(Count(UWM_ASK_STORAGE), 1);
}

TEST_F(ServiceSuite, BillingDeniedAndPurchaseAbortedByCancel) {
    ASSERT_EQ(Login("dave"), HV_LOGIN_OK);
    m_purchaseAnswer = 1;
    auto result = std::async(std::launch::async, [] {
        char buffer[HV_BUFFER_SIZE] = {};
        return Api().download("SPACE", "Space Race", 1, buffer);
    });
    ASSERT_TRUE(WaitFor(UWM_CONFIRM_PURCHASE));
    HANDLE handle = CreateEventA(nullptr, TRUE, FALSE, HV_PURCHASE_EVENT);
    SetEvent(handle);
    CloseHandle(handle);
    ASSERT_TRUE(PumpUntil([&] { return result.wait_for(0s) == std::future_status::ready; }));
    EXPECT_EQ(result.get(), HV_DL_BILLING_DENIED);

    m_messages.clear();
    result = std::async(std::launch::async, [] {
        char buffer[HV_BUFFER_SIZE] = {};
        return Api().download("SPACE", "Space Race", 1, buffer);
    });
    ASSERT_TRUE(WaitFor(UWM_CONFIRM_PURCHASE));
    Api().cancel(nullptr);
    ASSERT_TRUE(PumpUntil([&] { return result.wait_for(0s) == std::future_status::ready; }, 2s));
    EXPECT_EQ(result.get(), HV_DL_ABORTED);
}

TEST_F(ServiceSuite, PlayIsOfferedBeforeTheEndAndTheGameRunsAndCloses) {
    ASSERT_EQ(Admin({"renew-subscription", "alice"}), 0);
    ASSERT_EQ(Login("alice"), HV_LOGIN_OK);
    Faults({{"throttle_bps", 100000}});
    m_storage = InstallPath();
    m_playNow = 1;
    m_autoBuy = true;
    ASSERT_EQ(Download("SPACE"), HV_DL_OK);
    EXPECT_EQ(Download("SPACE"), HV_DL_ONE_AT_A_TIME);

    ASSERT_TRUE(WaitFor(UWM_ASK_PLAY_NOW));
    EXPECT_EQ(Count(UWM_DOWNLOAD_DONE), 0);
    const Message* state = Find(UWM_ENGINE_STATE);
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(state->wParam, 0u);
    // Progress before the play offer gave a time to play.
    bool timed = false;
    for (const auto& m : m_messages) {
        timed = timed || (m.msg == UWM_ENGINE_PROGRESS && m.progress.lSecondsToPlay > 0);
    }
    EXPECT_TRUE(timed);
    ASSERT_TRUE(WaitFor(UWM_GAME_CLOSED, 10s));
    EXPECT_EQ(ReadFile(m_storage + ".hvstaging/started.txt"), "started\n");

    Faults(nlohmann::json::object());
    ASSERT_TRUE(WaitFor(UWM_DOWNLOAD_DONE, 30s));
    EXPECT_EQ(ReadFile(m_storage + "/data/level.dat").size(), 600000u);
    const Message* onDisk = Find(UWM_PACKAGE_ON_DISK);
    ASSERT_NE(onDisk, nullptr);
    EXPECT_EQ(onDisk->wParam, 0u);
    EXPECT_EQ(onDisk->text, "SPACE");
    const auto& last = *std::find_if(m_messages.rbegin(), m_messages.rend(), [](const Message& m) {
        return m.msg == UWM_ENGINE_PROGRESS && m.progress.lState == HV_STATE_DOWNLOADING;
    });
    EXPECT_EQ(last.progress.lPercent, 100);

    m_messages.clear();
    EXPECT_EQ(Api().play("space race", "alice", "secret"), 0);
    ASSERT_TRUE(WaitFor(UWM_GAME_CLOSED, 10s));
    Api().remove("SPACE");
}

TEST_F(ServiceSuite, DroppedConnectionsResumeToAByteIdenticalInstall) {
    ASSERT_EQ(Login("alice"), HV_LOGIN_OK);
    Faults({{"drop_after_bytes", 150000}});
    m_storage = InstallPath();
    m_autoBuy = true;
    ASSERT_EQ(Download("SPACE"), HV_DL_OK);
    bool cleared = false;
    ASSERT_TRUE(PumpUntil(
        [&] {
            if (!cleared && std::any_of(m_messages.begin(), m_messages.end(), [](const Message& m) {
                    return m.msg == UWM_ENGINE_PROGRESS && m.progress.lState == HV_STATE_RETRYING;
                })) {
                cleared = true;
                Faults(nlohmann::json::object());
            }
            return Count(UWM_DOWNLOAD_DONE) > 0 || Count(UWM_ENGINE_CANCEL) > 0;
        },
        60s));
    ASSERT_EQ(Count(UWM_DOWNLOAD_DONE), 1);
    std::vector<int> states;
    for (const auto& m : m_messages) {
        if (m.msg == UWM_ENGINE_PROGRESS &&
            (states.empty() || states.back() != m.progress.lState)) {
            states.push_back(m.progress.lState);
        }
    }
    auto retry = std::find(states.begin(), states.end(), HV_STATE_RETRYING);
    ASSERT_NE(retry, states.end());
    EXPECT_NE(std::find(retry, states.end(), HV_STATE_RESTORED), states.end());

    hvtest::TempDir reference;
    hvtest::WriteFile(reference.Path() + "/a.tar", gameTar);
    ASSERT_EQ(RunProgram({"/usr/bin/tar", "-xf", reference.Path() + "/a.tar", "-C", reference.Path()}), 0);
    EXPECT_EQ(ReadFile(m_storage + "/data/level.dat"),
              ReadFile(reference.Path() + "/data/level.dat"));
    EXPECT_EQ(ReadFile(m_storage + "/bin/game.sh"), ReadFile(reference.Path() + "/bin/game.sh"));
    Api().remove("SPACE");
}

TEST_F(ServiceSuite, CancelStopsATransferWithinASecondAndItResumesLater) {
    ASSERT_EQ(Login("alice"), HV_LOGIN_OK);
    Faults({{"throttle_bps", 100000}});
    m_storage = InstallPath();
    m_autoBuy = true;
    ASSERT_EQ(Download("SPACE"), HV_DL_OK);
    ASSERT_TRUE(PumpUntil([&] {
        return std::any_of(m_messages.begin(), m_messages.end(), [](const Message& m) {
            return m.msg == UWM_ENGINE_PROGRESS && m.progress.lDone >= 50;
        });
    }));
    auto start = std::chrono::steady_clock::now();
    Api().cancel("SPACE");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    std::uintmax_t kept = fs::file_size(m_storage + ".hvpart");
    EXPECT_GT(kept, 0u);
    EXPECT_FALSE(fs::exists(m_storage + ".hvstaging"));

    Faults(nlohmann::json::object());
    m_messages.clear();
    ASSERT_EQ(Download("SPACE"), HV_DL_OK);
    ASSERT_TRUE(WaitFor(UWM_DOWNLOAD_DONE, 30s));
    const Message* first = Find(UWM_ENGINE_PROGRESS);
    ASSERT_NE(first, nullptr);
    EXPECT_GE(static_cast<std::uintmax_t>(first->progress.lDone), kept / 1024);
    EXPECT_EQ(ReadFile(m_storage + "/readme.txt"), "Space Race\n");
    EXPECT_EQ(ReadFile(m_storage + "/data/level.dat").size(), 600000u);
    Api().remove("SPACE");
}

TEST_F(ServiceSuite, LostServiceEndsTheSession) {
    ASSERT_EQ(Login("alice"), HV_LOGIN_OK);
    StopService();
    bool lost = WaitFor(UWM_CONNECTION_LOST, 20s);
    StartService();
    ASSERT_TRUE(lost);
    m_storage = InstallPath();
    EXPECT_EQ(Download("SPACE-D"), HV_DL_CONNECTION_LOST);
}

TEST_F(ServiceSuite, PublishedCatalogueReplacesTheFileAndTellsTheFrame) {
    ASSERT_EQ(Login("alice"), HV_LOGIN_OK);
    EXPECT_EQ(ReadFile("moviedata.txt").find("Moon Base"), std::string::npos);

    // The operator edits the catalogue, then publishes it.
    const std::string file = root->Path() + "/content/catalogue.json";
    const std::string original = ReadFile(file);
    auto replace = [&](const std::string& text) {
        hvtest::WriteFile(file + ".new", text);
        fs::rename(file + ".new", file);
        return Admin({"publish-catalogue"});
    };
    struct Restore {
        std::function<void()> fn;
        ~Restore() { fn(); }
    } restore{[&] { replace(original); }};
    auto games = nlohmann::json::parse(original);
    games["games"].push_back({{"package", "MOON"},
                              {"title", "Moon Base"},
                              {"type", 1},
                              {"categories", "Strategy"},
                              {"price", "4.99"},
                              {"pair", ""},
                              {"archive", "space.tar"},
                              {"program", "bin/game.sh"},
                              {"playable_bytes", playableBytes}});
    ASSERT_EQ(replace(games.dump()), 0);
    ASSERT_TRUE(WaitFor(UWM_CATALOGUE_READY));
    EXPECT_NE(ReadFile("moviedata.txt").find("Moon Base"), std::string::npos);

    m_messages.clear();
    ASSERT_EQ(replace(original), 0);
    ASSERT_TRUE(WaitFor(UWM_CATALOGUE_READY));
    EXPECT_EQ(ReadFile("moviedata.txt").find("Moon Base"), std::string::npos);
    EXPECT_NE(ReadFile("moviedata.txt").find("Space Race"), std::string::npos);

    // News, not the end of the session.
    EXPECT_EQ(Count(UWM_SESSION_CLOSED) + Count(UWM_FORCED_LOGOUT), 0);
    EXPECT_EQ(Download("NO-SUCH-PACKAGE"), HV_DL_NOT_AVAILABLE);
}

TEST_F(ServiceSuite, TooLittleRoomIsToldBeforeTheTransferStarts) {
    hvtest::SmallDisk disk(1 << 20);
    ASSERT_EQ(disk.Error(), "");
    ASSERT_EQ(Login("alice"), HV_LOGIN_OK);
    m_storage = disk.Path() + "/games/Rover";
    EXPECT_EQ(Download("ROVER", "Rover"), HV_DL_DISK_FULL);
    ASSERT_NE(Find(UWM_DISK_FULL), nullptr);
    EXPECT_EQ(Find(UWM_DISK_FULL)->text, "Rover");
    EXPECT_EQ(Count(UWM_ENGINE_PROGRESS), 0);
    EXPECT_TRUE(fs::is_empty(disk.Path()));
}

TEST_F(ServiceSuite, FullDiskMidTransferKeepsTheInstallAndTheBytesForLater) {
    hvtest::SmallDisk disk(4 << 20);
    ASSERT_EQ(disk.Error(), "");
    ASSERT_EQ(Login("alice"), HV_LOGIN_OK);
    m_storage = disk.Path() + "/games/Rover";
    ASSERT_EQ(Download("ROVER", "Rover"), HV_DL_OK);
    ASSERT_TRUE(WaitFor(UWM_DOWNLOAD_DONE));
    const std::string installed = ReadFile(m_storage + "/data/level.dat");
    ASSERT_EQ(installed.size(), 600000u);

    // An update comes out; the disk fills up while it arrives.
    const std::string archive = root->Path() + "/content/packages/rover.tar";
    struct Restore {
        std::string archive, tar;
        ~Restore() { hvtest::WriteFile(archive, tar); }
    } restore{archive, gameTar};
    std::vector<TarEntry> update = {File("bin/game.sh", "#!/bin/sh\nexit 0\n", 0755),
                                    File("readme.txt", "Rover 2\n"),
                                    File("bin/assets.dat", std::string(200000, 'y')),
                                    File("data/level.dat", std::string(650000, 'u'))};
    hvtest::WriteFile(archive + ".new", hvtest::MakeTar(update));
    fs::rename(archive + ".new", archive);
    m_messages.clear();
    Faults({{"throttle_bps", 100000}});
    m_onMessage = [&](const Message& m) {
        if (m.msg == UWM_ENGINE_PROGRESS && m.progress.lDone >= 50 && disk.FreeBytes() > 0) {
            disk.Fill();
        }
    };
    ASSERT_EQ(Download("ROVER", "Rover"), HV_DL_OK);
    ASSERT_TRUE(
        PumpUntil([&] { return Count(UWM_ENGINE_CANCEL) + Count(UWM_DOWNLOAD_DONE) > 0; }, 60s));
    m_onMessage = nullptr;
    Faults(nlohmann::json::object());
    EXPECT_EQ(Count(UWM_DOWNLOAD_DONE), 0);
    ASSERT_NE(Find(UWM_DISK_FULL), nullptr);
    EXPECT_EQ(Find(UWM_DISK_FULL)->text, "Rover");
    EXPECT_EQ(Count(UWM_PACKAGE_GONE), 0);
    Api().cancel("ROVER");  // what the frame does on UWM_ENGINE_CANCEL

    // The old version is untouched and still plays.
    EXPECT_EQ(ReadFile(m_storage + "/data/level.dat"), installed);
    EXPECT_FALSE(fs::exists(m_storage + ".hvstaging"));
    m_messages.clear();
    EXPECT_EQ(Api().play("Rover", "alice", "secret"), 0);
    ASSERT_TRUE(WaitFor(UWM_GAME_CLOSED));

    // With room again the update resumes from the bytes kept and replaces it.
    ASSERT_TRUE(fs::exists(m_storage + ".hvpart"));
    const std::uintmax_t kept = fs::file_size(m_storage + ".hvpart");
    EXPECT_GT(kept, 0u);
    disk.Unfill();
    m_messages.clear();
    ASSERT_EQ(Download("ROVER", "Rover"), HV_DL_OK);
    ASSERT_TRUE(WaitFor(UWM_DOWNLOAD_DONE));
    ASSERT_NE(Find(UWM_ENGINE_PROGRESS), nullptr);
    EXPECT_GE(static_cast<std::uintmax_t>(Find(UWM_ENGINE_PROGRESS)->progress.lDone), kept / 1024);
    EXPECT_EQ(ReadFile(m_storage + "/readme.txt"), "Rover 2\n");
    EXPECT_EQ(ReadFile(m_storage + "/data/level.dat"), std::string(650000, 'u'));
    EXPECT_FALSE(fs::exists(m_storage + ".hvpart"));
    EXPECT_FALSE(fs::exists(m_storage + ".hvold"));
    Api().remove("ROVER");
}

}  // namespace
