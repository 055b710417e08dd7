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
using hvtest::file;
using hvtest::readFile;
using hvtest::TarEntry;

constexpr const char* kToken = "test-admin-token";

// Runs a program and returns its exit status; stdout goes to out when given.
int run(const std::vector<std::string>& args, std::string* out = nullptr,
        pid_t* background = nullptr) {
    int fds[2];
    if (::pipe(fds) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
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
        while (::read(fds[0], &c, 1) == 1 && c != '\n')
            line += c;
        ::close(fds[0]);
        if (out)
            *out = line;
        *background = pid;
        return 0;
    }
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0)
        if (out)
            out->append(buffer, static_cast<std::size_t>(n));
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

    static const Engine& get() {
        static Engine engine = [] {
            void* lib = ::dlopen(HV_ENGINE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
            if (!lib)
                throw std::runtime_error(::dlerror());
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
        if (::access(HV_SERVICE_BINARY, X_OK) != 0)
            return;
        root = new hvtest::TempDir;
        const std::string content = root->path() + "/content";
        fs::create_directories(content + "/packages");
        std::vector<TarEntry> playable = {file("bin/game.sh",
                                               "#!/bin/sh\necho started > started.txt\nexec sleep "
                                               "\"${HV_TEST_GAME_SECONDS:-0.3}\"\n",
                                               0755),
                                          file("readme.txt", "Space Race\n"),
                                          file("bin/assets.dat", std::string(200000, 'z'))};
        std::vector<TarEntry> all = playable;
        std::string level;
        for (unsigned i = 0; i < 600000; ++i)
            level += static_cast<char>('a' + (i * 7919u) % 26);
        all.push_back(file("data/level.dat", level));
        gameTar = hvtest::makeTar(all);
        playableBytes = hvtest::makeTar(playable).size() - 1024;
        demoTar = hvtest::makeTar(playable);
        hvtest::writeFile(content + "/packages/space.tar", gameTar);
        hvtest::writeFile(content + "/packages/space-demo.tar", demoTar);
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
        hvtest::writeFile(content + "/packages/rover.tar", gameTar);
        hvtest::writeFile(content + "/catalogue.json", games.dump());
        db = root->path() + "/service.db";
        admin({"add-user", "alice", "secret"});
        admin({"add-user", "bob", "secret"});
        admin({"add-user", "carol", "secret", "--no-subscription"});
        admin({"add-user", "dave", "secret"});
        admin({"add-user", "erin", "secret"});
        admin({"suspend", "bob"});
        admin({"deny-billing", "dave"});
        startService();
    }

    static void startService() {
        std::string line;
        run({HV_SERVICE_BINARY, "serve", "--content", root->path() + "/content", "--db", db,
             "--listen", "127.0.0.1:" + std::to_string(port), "--admin-token", kToken},
            &line, &servicePid);
        auto at = line.find("http://");
        if (at != std::string::npos) {
            baseUrl = line.substr(at);
            port = std::stoi(baseUrl.substr(baseUrl.rfind(':') + 1));
        }
    }

    static void stopService() {
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
        stopService();
        delete root;
        root = nullptr;
    }

    static int admin(const std::vector<std::string>& args) {
        std::vector<std::string> all = {HV_SERVICE_BINARY, "admin", "--db", db};
        all.insert(all.end(), args.begin(), args.end());
        return run(all);
    }

    static void faults(const nlohmann::json& settings) {
        hv::HttpRequest request(baseUrl + "/admin/faults", settings.dump());
        request.headers.push_back(std::string("X-Admin-Token: ") + kToken);
        ASSERT_EQ(hv::httpPerform(request, nullptr).status, 200);
    }

    void SetUp() override {
        if (!root || baseUrl.empty())
            GTEST_SKIP() << "halvory-service is not built at " HV_SERVICE_BINARY;
        previousDir = fs::current_path();
        work = std::make_unique<hvtest::TempDir>();
        fs::current_path(work->path());
        hvtest::writeFile("Halvory.ini", "ARTDIR=art/\nENGINE_URL=" + baseUrl + "/\n");
        window = hvCreateWindowHandle(&ServiceSuite::proc, this);
        engine().init(window);
    }

    void TearDown() override {
        if (!work)
            return;
        // It may refer to the test's own objects, gone by now.
        onMessage = nullptr;
        // A test that failed half-way leaves no fault behind for the next.
        faults(nlohmann::json::object());
        if (HasFailure()) {
            for (const auto& m : messages)
                std::fprintf(stderr, "  WM_USER+%u w=%lu %s state=%d done=%d/%d\n", m.msg - WM_USER,
                             static_cast<unsigned long>(m.wParam), m.text.c_str(),
                             m.progress.lState, m.progress.lDone, m.progress.lTotal);
        }
        engine().shutdown();
        hvDispatchPending();
        hvDestroyWindowHandle(window);
        fs::current_path(previousDir);
        work.reset();
    }

    static const Engine& engine() { return Engine::get(); }

    static LRESULT proc(void* context, HWND, UINT msg, WPARAM wParam, LPARAM lParam) {
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
        if (self->onMessage)
            self->onMessage(m);
        self->messages.push_back(m);
        switch (msg) {
            case UWM_CONFIRM_PURCHASE:
                if (self->autoBuy) {
                    // The engine resets the events before it asks.
                    HANDLE yes = CreateEventA(nullptr, TRUE, FALSE, HV_PURCHASE_EVENT);
                    SetEvent(yes);
                    CloseHandle(yes);
                    return 1;
                }
                return self->purchaseAnswer;
            case UWM_ASK_STORAGE:
                if (self->storage.empty())
                    return 0;
                engine().setGamePath(self->storage.c_str());
                return 1;
            case UWM_ASK_PLAY_NOW: return self->playNow;
        }
        return 0;
    }

    // Pumps the window's messages until done() holds or the time is up.
    bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 20s) {
        auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            if (hvDispatchPending() == 0)
                std::this_thread::sleep_for(2ms);
        }
        hvDispatchPending();
        return true;
    }

    template <typename F>
    auto onWorker(F fn) {
        auto result = std::async(std::launch::async, fn);
        EXPECT_TRUE(pumpUntil([&] { return result.wait_for(0s) == std::future_status::ready; }));
        return result.get();
    }

    int login(const std::string& user, const std::string& password = "secret") {
        return onWorker([&] { return engine().login(user.c_str(), password.c_str(), 1); });
    }

    int download(const std::string& package, const std::string& title = "Space Race") {
        return onWorker([&] {
            char buffer[HV_BUFFER_SIZE] = {};
            return engine().download(package.c_str(), title.c_str(), 1, buffer);
        });
    }

    int count(UINT msg) const {
        return static_cast<int>(std::count_if(messages.begin(), messages.end(),
                                              [msg](const Message& m) { return m.msg == msg; }));
    }

    const Message* find(UINT msg) const {
        for (const auto& m : messages)
            if (m.msg == msg)
                return &m;
        return nullptr;
    }

    bool waitFor(UINT msg, std::chrono::milliseconds limit = 20s) {
        return pumpUntil([&] { return count(msg) > 0; }, limit);
    }

    std::string installPath(const std::string& name = "Space Race") const {
        return work->path() + "/games/" + name;
    }

    static inline hvtest::TempDir* root = nullptr;
    static inline std::string db, baseUrl, gameTar, demoTar;
    static inline std::size_t playableBytes = 0;
    static inline pid_t servicePid = 0;
    static inline int port = 0;

    fs::path previousDir;
    std::unique_ptr<hvtest::TempDir> work;
    HWND window = nullptr;
    std::vector<Message> messages;
    LRESULT purchaseAnswer = 0;
    bool autoBuy = false;
    LRESULT playNow = 0;
    std::string storage;
    std::function<void(const Message&)> onMessage;
};

TEST_F(ServiceSuite, LoginAnswersEachAccountState) {
    EXPECT_EQ(login("nobody"), HV_LOGIN_NO_SUCH_USER);
    EXPECT_EQ(login("alice", "wrong"), HV_LOGIN_ACCESS_DENIED);
    EXPECT_EQ(login("bob"), HV_LOGIN_SUSPENDED);
    EXPECT_EQ(login("carol"), HV_LOGIN_NO_SUBSCRIPTION);
    EXPECT_FALSE(fs::exists("moviedata.txt"));

    ASSERT_EQ(admin({"set-required-version", "9999"}), 0);
    EXPECT_EQ(login("alice"), HV_LOGIN_OLD_VERSION);
    ASSERT_EQ(admin({"set-required-version", "0"}), 0);

    ASSERT_EQ(login("alice"), HV_LOGIN_OK);
    std::string catalogue = readFile("moviedata.txt");
    EXPECT_GE(catalogue.size(), 2u * 92);
    EXPECT_NE(catalogue.find("Space Race"), std::string::npos);
    EXPECT_NE(catalogue.find("SPACE-D"), std::string::npos);
    char url[HV_BUFFER_SIZE] = {};
    engine().accountUrl(url);
    EXPECT_EQ(std::string(url).rfind(baseUrl + "/pages/account.htm", 0), 0u) << url;
}

TEST_F(ServiceSuite, LoginReportsAnUnreachableServiceAndCanBeCancelled) {
    engine().shutdown();
    hvtest::writeFile("Halvory.ini", "ENGINE_URL=http://127.0.0.1:9/\n");
    engine().init(window);
    EXPECT_EQ(login("alice"), HV_LOGIN_UNREACHABLE);
    engine().shutdown();
    hvtest::writeFile("Halvory.ini", "ENGINE_URL=" + baseUrl + "\n");
    engine().init(window);

    faults({{"login_delay_ms", 10000}});
    auto result =
        std::async(std::launch::async, [] { return engine().login("alice", "secret", 1); });
    std::this_thread::sleep_for(300ms);
    auto start = std::chrono::steady_clock::now();
    engine().cancelLogin();
    ASSERT_EQ(result.wait_for(2s), std::future_status::ready);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_EQ(result.get(), HV_LOGIN_CANCELLED);
    faults(nlohmann::json::object());
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
        messages.clear();
        ASSERT_EQ(login("alice"), HV_LOGIN_OK);
        ASSERT_EQ(admin(c.command), 0);
        ASSERT_TRUE(waitFor(c.msg, 15s));
        EXPECT_EQ(find(c.msg)->lParam, c.reason);
        if (!c.undo.empty()) {
            ASSERT_EQ(admin(c.undo), 0);
        }
        engine().logOut();
    }
}

TEST_F(ServiceSuite, DemoInstallsWithoutPurchaseAndReportsEachStep) {
    ASSERT_EQ(login("alice"), HV_LOGIN_OK);
    storage = installPath("Space Race Demo");
    ASSERT_EQ(download("SPACE-D"), HV_DL_OK);
    ASSERT_TRUE(waitFor(UWM_DOWNLOAD_DONE));
    EXPECT_EQ(count(UWM_CONFIRM_PURCHASE), 0);
    ASSERT_NE(find(UWM_ASK_STORAGE), nullptr);
    EXPECT_EQ(find(UWM_ASK_STORAGE)->wParam, 1u);
    EXPECT_EQ(find(UWM_ASK_STORAGE)->text, "Space Race");
    EXPECT_GE(count(UWM_ENGINE_PROGRESS), 1);
    EXPECT_EQ(count(UWM_ENGINE_STATE), 1);
    EXPECT_EQ(find(UWM_ASK_PLAY_NOW)->text, "Space Race");
    const Message* onDisk = find(UWM_PACKAGE_ON_DISK);
    ASSERT_NE(onDisk, nullptr);
    EXPECT_EQ(onDisk->wParam, 1u);
    EXPECT_EQ(onDisk->text, "SPACE-D");
    EXPECT_EQ(readFile(storage + "/readme.txt"), "Space Race\n");
    EXPECT_FALSE(fs::exists(storage + ".hvpart"));
    EXPECT_FALSE(fs::exists(storage + ".hvstaging"));

    EXPECT_EQ(download("SPACE-D"), HV_DL_ALREADY_COMPLETE);
    EXPECT_EQ(download("NO-SUCH-PACKAGE"), HV_DL_NOT_AVAILABLE);

    // The install survives a restart of the engine and is announced at login.
    engine().shutdown();
    engine().init(window);
    messages.clear();
    ASSERT_EQ(login("alice"), HV_LOGIN_OK);
    ASSERT_NE(find(UWM_PACKAGE_ON_DISK), nullptr);
    EXPECT_EQ(find(UWM_PACKAGE_ON_DISK)->text, "SPACE-D");

    engine().remove("SPACE-D");
    ASSERT_TRUE(waitFor(UWM_PACKAGE_GONE));
    EXPECT_EQ(find(UWM_PACKAGE_GONE)->wParam, 1u);
    EXPECT_EQ(find(UWM_PACKAGE_GONE)->text, "SPACE-D");
    EXPECT_FALSE(fs::exists(storage));
    EXPECT_NE(engine().play("Space Race", "alice", "secret"), 0);
}

TEST_F(ServiceSuite, PurchaseAndStorageAnswersDecide) {
    ASSERT_EQ(login("erin"), HV_LOGIN_OK);
    purchaseAnswer = 0;
    EXPECT_EQ(download("SPACE"), HV_DL_DECLINED);
    ASSERT_NE(find(UWM_CONFIRM_PURCHASE), nullptr);
    EXPECT_EQ(find(UWM_CONFIRM_PURCHASE)->text, "19.99|Space Race");

    // Second confirmation: the client answers through the named events.
    purchaseAnswer = 1;
    for (const char* event : {HV_NO_PURCHASE_EVENT, HV_PURCHASE_EVENT}) {
        SCOPED_TRACE(event);
        messages.clear();
        storage.clear();
        auto result = std::async(std::launch::async, [] {
            char buffer[HV_BUFFER_SIZE] = {};
            return engine().download("SPACE", "Space Race", 1, buffer);
        });
        ASSERT_TRUE(waitFor(UWM_CONFIRM_PURCHASE));
        std::this_thread::sleep_for(100ms);
        HANDLE handle = CreateEventA(nullptr, TRUE, FALSE, event);
        SetEvent(handle);
        CloseHandle(handle);
        ASSERT_TRUE(pumpUntil([&] { return result.wait_for(0s) == std::future_status::ready; }));
        // Bought or not, the storage question was declined.
        EXPECT_EQ(result.get(), HV_DL_DECLINED);
        EXPECT_EQ(count(UWM_ASK_STORAGE), std::string(event) == HV_PURCHASE_EVENT ? 1 : 0);
    }
    // Now owned: no purchase question any more.
    messages.clear();
    EXPECT_EQ(download("SPACE"), HV_DL_DECLINED);
    EXPECT_EQ(count(UWM_CONFIRM_PURCHASE), 0);
    EXPECT_EQ(count(UWM_ASK_STORAGE), 1);
}

TEST_F(ServiceSuite, BillingDeniedAndPurchaseAbortedByCancel) {
    ASSERT_EQ(login("dave"), HV_LOGIN_OK);
    purchaseAnswer = 1;
    auto result = std::async(std::launch::async, [] {
        char buffer[HV_BUFFER_SIZE] = {};
        return engine().download("SPACE", "Space Race", 1, buffer);
    });
    ASSERT_TRUE(waitFor(UWM_CONFIRM_PURCHASE));
    HANDLE handle = CreateEventA(nullptr, TRUE, FALSE, HV_PURCHASE_EVENT);
    SetEvent(handle);
    CloseHandle(handle);
    ASSERT_TRUE(pumpUntil([&] { return result.wait_for(0s) == std::future_status::ready; }));
    EXPECT_EQ(result.get(), HV_DL_BILLING_DENIED);

    messages.clear();
    result = std::async(std::launch::async, [] {
        char buffer[HV_BUFFER_SIZE] = {};
        return engine().download("SPACE", "Space Race", 1, buffer);
    });
    ASSERT_TRUE(waitFor(UWM_CONFIRM_PURCHASE));
    engine().cancel(nullptr);
    ASSERT_TRUE(pumpUntil([&] { return result.wait_for(0s) == std::future_status::ready; }, 2s));
    EXPECT_EQ(result.get(), HV_DL_ABORTED);
}

TEST_F(ServiceSuite, PlayIsOfferedBeforeTheEndAndTheGameRunsAndCloses) {
    ASSERT_EQ(admin({"renew-subscription", "alice"}), 0);
    ASSERT_EQ(login("alice"), HV_LOGIN_OK);
    faults({{"throttle_bps", 100000}});
    storage = installPath();
    playNow = 1;
    autoBuy = true;
    ASSERT_EQ(download("SPACE"), HV_DL_OK);
    EXPECT_EQ(download("SPACE"), HV_DL_ONE_AT_A_TIME);

    ASSERT_TRUE(waitFor(UWM_ASK_PLAY_NOW));
    EXPECT_EQ(count(UWM_DOWNLOAD_DONE), 0);
    const Message* state = find(UWM_ENGINE_STATE);
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(state->wParam, 0u);
    // Progress before the play offer gave a time to play.
    bool timed = false;
    for (const auto& m : messages)
        timed = timed || (m.msg == UWM_ENGINE_PROGRESS && m.progress.lSecondsToPlay > 0);
    EXPECT_TRUE(timed);
    ASSERT_TRUE(waitFor(UWM_GAME_CLOSED, 10s));
    EXPECT_EQ(readFile(storage + ".hvstaging/started.txt"), "started\n");

    faults(nlohmann::json::object());
    ASSERT_TRUE(waitFor(UWM_DOWNLOAD_DONE, 30s));
    EXPECT_EQ(readFile(storage + "/data/level.dat").size(), 600000u);
    const Message* onDisk = find(UWM_PACKAGE_ON_DISK);
    ASSERT_NE(onDisk, nullptr);
    EXPECT_EQ(onDisk->wParam, 0u);
    EXPECT_EQ(onDisk->text, "SPACE");
    const auto& last = *std::find_if(messages.rbegin(), messages.rend(), [](const Message& m) {
        return m.msg == UWM_ENGINE_PROGRESS && m.progress.lState == HV_STATE_DOWNLOADING;
    });
    EXPECT_EQ(last.progress.lPercent, 100);

    messages.clear();
    EXPECT_EQ(engine().play("space race", "alice", "secret"), 0);
    ASSERT_TRUE(waitFor(UWM_GAME_CLOSED, 10s));
    engine().remove("SPACE");
}

TEST_F(ServiceSuite, DroppedConnectionsResumeToAByteIdenticalInstall) {
    ASSERT_EQ(login("alice"), HV_LOGIN_OK);
    faults({{"drop_after_bytes", 150000}});
    storage = installPath();
    autoBuy = true;
    ASSERT_EQ(download("SPACE"), HV_DL_OK);
    bool cleared = false;
    ASSERT_TRUE(pumpUntil(
        [&] {
            if (!cleared && std::any_of(messages.begin(), messages.end(), [](const Message& m) {
                    return m.msg == UWM_ENGINE_PROGRESS && m.progress.lState == HV_STATE_RETRYING;
                })) {
                cleared = true;
                faults(nlohmann::json::object());
            }
            return count(UWM_DOWNLOAD_DONE) > 0 || count(UWM_ENGINE_CANCEL) > 0;
        },
        60s));
    ASSERT_EQ(count(UWM_DOWNLOAD_DONE), 1);
    std::vector<int> states;
    for (const auto& m : messages)
        if (m.msg == UWM_ENGINE_PROGRESS && (states.empty() || states.back() != m.progress.lState))
            states.push_back(m.progress.lState);
    auto retry = std::find(states.begin(), states.end(), HV_STATE_RETRYING);
    ASSERT_NE(retry, states.end());
    EXPECT_NE(std::find(retry, states.end(), HV_STATE_RESTORED), states.end());

    hvtest::TempDir reference;
    hvtest::writeFile(reference.path() + "/a.tar", gameTar);
    ASSERT_EQ(run({"/usr/bin/tar", "-xf", reference.path() + "/a.tar", "-C", reference.path()}), 0);
    EXPECT_EQ(readFile(storage + "/data/level.dat"),
              readFile(reference.path() + "/data/level.dat"));
    EXPECT_EQ(readFile(storage + "/bin/game.sh"), readFile(reference.path() + "/bin/game.sh"));
    engine().remove("SPACE");
}

TEST_F(ServiceSuite, CancelStopsATransferWithinASecondAndItResumesLater) {
    ASSERT_EQ(login("alice"), HV_LOGIN_OK);
    faults({{"throttle_bps", 100000}});
    storage = installPath();
    autoBuy = true;
    ASSERT_EQ(download("SPACE"), HV_DL_OK);
    ASSERT_TRUE(pumpUntil([&] {
        return std::any_of(messages.begin(), messages.end(), [](const Message& m) {
            return m.msg == UWM_ENGINE_PROGRESS && m.progress.lDone >= 50;
        });
    }));
    auto start = std::chrono::steady_clock::now();
    engine().cancel("SPACE");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    std::uintmax_t kept = fs::file_size(storage + ".hvpart");
    EXPECT_GT(kept, 0u);
    EXPECT_FALSE(fs::exists(storage + ".hvstaging"));

    faults(nlohmann::json::object());
    messages.clear();
    ASSERT_EQ(download("SPACE"), HV_DL_OK);
    ASSERT_TRUE(waitFor(UWM_DOWNLOAD_DONE, 30s));
    const Message* first = find(UWM_ENGINE_PROGRESS);
    ASSERT_NE(first, nullptr);
    EXPECT_GE(static_cast<std::uintmax_t>(first->progress.lDone), kept / 1024);
    EXPECT_EQ(readFile(storage + "/readme.txt"), "Space Race\n");
    EXPECT_EQ(readFile(storage + "/data/level.dat").size(), 600000u);
    engine().remove("SPACE");
}

TEST_F(ServiceSuite, LostServiceEndsTheSession) {
    ASSERT_EQ(login("alice"), HV_LOGIN_OK);
    stopService();
    bool lost = waitFor(UWM_CONNECTION_LOST, 20s);
    startService();
    ASSERT_TRUE(lost);
    storage = installPath();
    EXPECT_EQ(download("SPACE-D"), HV_DL_CONNECTION_LOST);
}

TEST_F(ServiceSuite, PublishedCatalogueReplacesTheFileAndTellsTheFrame) {
    ASSERT_EQ(login("alice"), HV_LOGIN_OK);
    EXPECT_EQ(readFile("moviedata.txt").find("Moon Base"), std::string::npos);

    // The operator edits the catalogue, then publishes it.
    const std::string file = root->path() + "/content/catalogue.json";
    const std::string original = readFile(file);
    auto replace = [&](const std::string& text) {
        hvtest::writeFile(file + ".new", text);
        fs::rename(file + ".new", file);
        return admin({"publish-catalogue"});
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
    ASSERT_TRUE(waitFor(UWM_CATALOGUE_READY));
    EXPECT_NE(readFile("moviedata.txt").find("Moon Base"), std::string::npos);

    messages.clear();
    ASSERT_EQ(replace(original), 0);
    ASSERT_TRUE(waitFor(UWM_CATALOGUE_READY));
    EXPECT_EQ(readFile("moviedata.txt").find("Moon Base"), std::string::npos);
    EXPECT_NE(readFile("moviedata.txt").find("Space Race"), std::string::npos);

    // News, not the end of the session.
    EXPECT_EQ(count(UWM_SESSION_CLOSED) + count(UWM_FORCED_LOGOUT), 0);
    EXPECT_EQ(download("NO-SUCH-PACKAGE"), HV_DL_NOT_AVAILABLE);
}

TEST_F(ServiceSuite, TooLittleRoomIsToldBeforeTheTransferStarts) {
    hvtest::SmallDisk disk(1 << 20);
    ASSERT_EQ(disk.error(), "");
    ASSERT_EQ(login("alice"), HV_LOGIN_OK);
    storage = disk.path() + "/games/Rover";
    EXPECT_EQ(download("ROVER", "Rover"), HV_DL_DISK_FULL);
    ASSERT_NE(find(UWM_DISK_FULL), nullptr);
    EXPECT_EQ(find(UWM_DISK_FULL)->text, "Rover");
    EXPECT_EQ(count(UWM_ENGINE_PROGRESS), 0);
    EXPECT_TRUE(fs::is_empty(disk.path()));
}

TEST_F(ServiceSuite, FullDiskMidTransferKeepsTheInstallAndTheBytesForLater) {
    hvtest::SmallDisk disk(4 << 20);
    ASSERT_EQ(disk.error(), "");
    ASSERT_EQ(login("alice"), HV_LOGIN_OK);
    storage = disk.path() + "/games/Rover";
    ASSERT_EQ(download("ROVER", "Rover"), HV_DL_OK);
    ASSERT_TRUE(waitFor(UWM_DOWNLOAD_DONE));
    const std::string installed = readFile(storage + "/data/level.dat");
    ASSERT_EQ(installed.size(), 600000u);

    // An update comes out; the disk fills up while it arrives.
    const std::string archive = root->path() + "/content/packages/rover.tar";
    struct Restore {
        std::string archive, tar;
        ~Restore() { hvtest::writeFile(archive, tar); }
    } restore{archive, gameTar};
    std::vector<TarEntry> update = {file("bin/game.sh", "#!/bin/sh\nexit 0\n", 0755),
                                    file("readme.txt", "Rover 2\n"),
                                    file("bin/assets.dat", std::string(200000, 'y')),
                                    file("data/level.dat", std::string(650000, 'u'))};
    hvtest::writeFile(archive + ".new", hvtest::makeTar(update));
    fs::rename(archive + ".new", archive);
    messages.clear();
    faults({{"throttle_bps", 100000}});
    onMessage = [&](const Message& m) {
        if (m.msg == UWM_ENGINE_PROGRESS && m.progress.lDone >= 50 && disk.freeBytes() > 0)
            disk.fill();
    };
    ASSERT_EQ(download("ROVER", "Rover"), HV_DL_OK);
    ASSERT_TRUE(
        pumpUntil([&] { return count(UWM_ENGINE_CANCEL) + count(UWM_DOWNLOAD_DONE) > 0; }, 60s));
    onMessage = nullptr;
    faults(nlohmann::json::object());
    EXPECT_EQ(count(UWM_DOWNLOAD_DONE), 0);
    ASSERT_NE(find(UWM_DISK_FULL), nullptr);
    EXPECT_EQ(find(UWM_DISK_FULL)->text, "Rover");
    EXPECT_EQ(count(UWM_PACKAGE_GONE), 0);
    engine().cancel("ROVER");  // what the frame does on UWM_ENGINE_CANCEL

    // The old version is untouched and still plays.
    EXPECT_EQ(readFile(storage + "/data/level.dat"), installed);
    EXPECT_FALSE(fs::exists(storage + ".hvstaging"));
    messages.clear();
    EXPECT_EQ(engine().play("Rover", "alice", "secret"), 0);
    ASSERT_TRUE(waitFor(UWM_GAME_CLOSED));

    // With room again the update resumes from the bytes kept and replaces it.
    ASSERT_TRUE(fs::exists(storage + ".hvpart"));
    const std::uintmax_t kept = fs::file_size(storage + ".hvpart");
    EXPECT_GT(kept, 0u);
    disk.unfill();
    messages.clear();
    ASSERT_EQ(download("ROVER", "Rover"), HV_DL_OK);
    ASSERT_TRUE(waitFor(UWM_DOWNLOAD_DONE));
    ASSERT_NE(find(UWM_ENGINE_PROGRESS), nullptr);
    EXPECT_GE(static_cast<std::uintmax_t>(find(UWM_ENGINE_PROGRESS)->progress.lDone), kept / 1024);
    EXPECT_EQ(readFile(storage + "/readme.txt"), "Rover 2\n");
    EXPECT_EQ(readFile(storage + "/data/level.dat"), std::string(650000, 'u'));
    EXPECT_FALSE(fs::exists(storage + ".hvpart"));
    EXPECT_FALSE(fs::exists(storage + ".hvold"));
    engine().remove("ROVER");
}

}  // namespace
