// Whole sessions on a real display: the real service with the demo content,
// a fresh client install with the real engine, and the driven client walking
// through them as a user (see its drivers).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "ServiceHarness.h"
#include "file/VersionStamp.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using halvory::e2e::ChildProcess;

constexpr const char* kUser = "e2e-player";
constexpr const char* kPassword = "e2e secret";

// The real service with the demo content and a fresh client install with the
// real engine, logged in from the command line.
class SessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) {
            GTEST_SKIP() << "needs an X display with a window manager (DISPLAY is unset); "
                            "scripts/test.sh runs it under Xvfb and openbox";
        }
        std::vector<std::string> generate{HV_DEMOCONTENT_BIN, "--out", content.string()};
        if (packageSize > 0) {
            generate.insert(generate.end(), {"--package-size", std::to_string(packageSize)});
        }
        if (!upgradePackage.empty()) {
            generate.insert(generate.end(), {"--upgrade-package", upgradePackage.string()});
        }
        ASSERT_EQ(hvtest::RunProgram(generate), 0);
        const fs::path key = temp.Path() / "signing-key.pem";
        ASSERT_EQ(hvtest::RunProgram({HV_SERVICE_BIN, "admin", "new-signing-key", key.string(),
                                      (temp.Path() / "signing-key.pub").string()}),
                  0);
        std::vector<std::string> serve{"--signing-key-file", key.string()};
        if (tls) {
            certificates = std::make_unique<hvtest::TestCertificates>(temp.Path() / "tls");
            const auto args = certificates->ServeArgs();
            serve.insert(serve.end(), args.begin(), args.end());
        }
        service =
            std::make_unique<hvtest::ServiceProcess>(content, temp.Path() / "service.db", serve);
        if (certificates) {
            service->UseAuthority(certificates->ca.string());
        }
        ASSERT_FALSE(service->Url().empty());
        ASSERT_EQ(service->Admin({"add-user", kUser, kPassword}), 0);
        fs::create_directories(install);
        fs::create_directories(storage);
        fs::copy_file(HALVORY_DRIVEN_CLIENT, install / "halvory");
        fs::copy_file(HALVORY_PLATFORM_LIBRARY, install / "libhvplatform.so");
        fs::copy_file(HALVORY_ENGINE_LIBRARY, install / "libhalvory.so");
        fs::copy_file(temp.Path() / "signing-key.pub", install / "package-key.pub");
        std::ofstream ini(install / "Halvory.ini");
        const std::string base = service->Url();
        ini << "SERVERIPADDR_URL=" << base << "/discover\n"
            << "ARTURL=" << base << "/art/  \n"  // trailing blanks are not part of it
            << "ARTDIR=" << art.string() << "/\n"
            << "PLAYERPAGES=" << base << "/pages\n"
            << "HELP_URL=" << base << "/pages\n"
            << "ENGINE_URL=" << base << "\n"
            << "PACKAGEKEY=package-key.pub\n";
        if (certificates) {
            ini << "CAFILE=" << certificates->ca.string() << "\n";
        }
    }

    // Runs the driven client to its verdict; it must then end on its own.
    void RunClient(const std::string& scenario,
                   const std::function<void(const std::string&)>& onLine = {}) {
        const std::string artifacts = HALVORY_ARTIFACTS_DIR;
        fs::create_directories(artifacts);
        std::vector<std::string> args;
        if (commandLineLogin) {
            args.push_back(std::string("/u") + kUser + "//" + kPassword);
        }
        ChildProcess client((install / "halvory").string(),
                            {.args = args,
                             .set_env = {"HALVORY_E2E_STORAGE=" + storage.string(),
                                         "HALVORY_E2E_SCENARIO=" + scenario,
                                         "HALVORY_E2E_USER=" + std::string(kUser),
                                         "HALVORY_E2E_PASSWORD=" + std::string(kPassword),
                                         "HALVORY_E2E_ARTIFACTS=" + artifacts,
                                         "HALVORY_DEMO_GAME_LOG=" + gameLog.string(),
                                         "HALVORY_DEMO_GAME_CLOSE_AFTER_MS=1500"},
                             .unset_env = {"QT_QPA_PLATFORM"}});
        ASSERT_TRUE(client.started()) << client.error();
        // Echoes the client's report and hands each line to onLine, up to its verdict.
        const auto deadline = std::chrono::steady_clock::now() + 300s;
        ChildProcess::LineResult why = ChildProcess::LineResult::Found;
        std::optional<std::string> line;
        while ((line = client.readLine(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           deadline - std::chrono::steady_clock::now()),
                                       why)) &&
               *line != "e2e: passed" && !line->starts_with("e2e: failed")) {
            std::cout << "client: " << *line << "\n";
            if (onLine) {
                onLine(*line);
            }
        }
        const auto status = client.waitForExit(30s);
        ASSERT_EQ(line.value_or(why == ChildProcess::LineResult::TimedOut ? "timed out" : "ended"),
                  "e2e: passed");
        ASSERT_TRUE(status) << "the client did not end after its window was closed";
        EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << "wait status " << *status;
    }

    long long packageSize = 0;  // the generator's own when 0
    bool commandLineLogin = true;
    bool tls = false;         // the service over TLS, vouched for by its own authority
    fs::path upgradePackage;  // the service's; none: a stand-in that installs nothing
    hvtest::TempDir temp;
    const fs::path content = temp.Path() / "content";
    std::unique_ptr<hvtest::TestCertificates> certificates;
    std::unique_ptr<hvtest::ServiceProcess> service;
    const fs::path install = temp.Path() / "client";
    const fs::path art = install / "art";
    const fs::path storage = temp.Path() / "games";
    const fs::path gameLog = temp.Path() / "game.log";
};

// Real input behind the wait dialog and on the purchase confirmation, and the
// session ended by the service while a question is open (the driver checks
// what the client shows; see its interruptions scenario).
TEST_F(SessionTest, InterruptionsLeaveNothingOpenOrDisabled) {
    RunClient("interruptions", [this](const std::string& line) {
        if (line == "e2e: waiting for logout 1") {
            EXPECT_EQ(service->Admin({"close-sessions", kUser}), 0);
        } else if (line == "e2e: waiting for logout 2") {
            EXPECT_EQ(service->Admin({"suspend", kUser}), 0);
        }
    });
    EXPECT_TRUE(fs::is_empty(storage)) << "an interrupted download left files in " << storage;
}

// Browsing with the keyboard only (see the driver's browse scenario): the
// games screen, pages and a category, a game opened, its demo taken, played
// and deleted, the game bought, played and deleted, each step checked on the
// screens and in the storage folder the question offers (the client's own).
// Screenshots go to artifacts/.
TEST_F(SessionTest, BrowsesBuysPlaysAndDeletesWithTheKeyboard) {
    RunClient("browse");
    if (HasFatalFailure()) {
        return;
    }
    // The catalogue came from the engine, the art from the service.
    EXPECT_TRUE(fs::exists(install / "moviedata.txt"));
    size_t icons = 0;
    for (const auto& entry : fs::directory_iterator(art)) {
        const fs::path served = content / "art" / entry.path().filename();
        if (entry.path().extension() == ".jpg") {
            ++icons;
            EXPECT_TRUE(hvtest::ReadFile(entry.path()) == hvtest::ReadFile(served)) << served;
        }
    }
    EXPECT_GE(icons, 24u);
}

// The same walk on a virtual game controller inside the client: the d-pad,
// A, B and the shoulder buttons instead of the keys.
TEST_F(SessionTest, BrowsesBuysPlaysAndDeletesWithAGamepad) {
    RunClient("browse-gamepad");
}

// Started without an account: the start-up check behind its wait dialog
// (the service answers slowly so that it is seen), then the login screen
// with real keys: a wrong password refused, a slow login cancelled, and the
// login. Screenshots go to artifacts/.
TEST_F(SessionTest, LogsInOnTheLoginScreenWithRealKeys) {
    commandLineLogin = false;
    ASSERT_EQ(service->Faults(R"({"discover_delay_ms": 1500})"), 200);
    RunClient("login", [this](const std::string& line) {
        if (line == "e2e: back with the password box empty") {
            EXPECT_EQ(service->Faults(R"({"login_delay_ms": 20000})"), 200);
        } else if (line == "e2e: Cancel goes back to the login screen") {
            EXPECT_EQ(service->Faults("{}"), 200);
        }
    });
}

// The client's process running `exe`, or 0.
pid_t RunningFrom(const fs::path& exe) {
    for (const auto& entry : fs::directory_iterator("/proc")) {
        std::error_code ec;
        const fs::path target = fs::read_symlink(entry.path() / "exe", ec);
        if (!ec && target == exe) {
            return static_cast<pid_t>(std::atoi(entry.path().filename().c_str()));
        }
    }
    return 0;
}

// The service requires the next version and offers the upgrade built from
// this tree: the client checks at start, downloads the package through its
// dialog (slowly, so that progress, rate and time left are seen), the engine
// unpacks it, the installer replaces the install, and the new client starts.
class UpgradeTest : public SessionTest {
  protected:
    // Discovery and the download go over TLS, vouched for by the service's
    // own authority.
    UpgradeTest() { tls = true; }

    void SetUp() override {
        if (upgradePackage.empty()) {
            upgradePackage = HALVORY_UPGRADE_PACKAGE;
        }
        commandLineLogin = false;
        SessionTest::SetUp();
        if (!HasFatalFailure()) {
            ASSERT_EQ(
                service->Admin({"set-required-version", std::to_string(HALVORY_NEXT_VERSION)}), 0);
        }
    }

    // Runs an upgrade walk; the download is slow until the walk has seen it,
    // then `faults` (", ..." or empty) hold.
    void RunUpgrade(const std::string& scenario, const std::string& faults = "") {
        ASSERT_EQ(service->Faults(R"({"throttle_bps": 2000000, "discover_delay_ms": 1500)" +
                                  faults + "}"),
                  200);
        RunClient(scenario, [this, scenario, faults](const std::string& line) {
            if (line == "e2e: the upgrade downloads" && scenario != "upgrade-cancelled") {
                EXPECT_EQ(service->Faults("{" + faults.substr(faults.empty() ? 0 : 1) + "}"), 200);
            }
        });
    }

    // The install as it was: the same client and no installer run.
    void ExpectOldInstall() {
        EXPECT_TRUE(hvtest::ReadFile(install / "halvory") ==
                    hvtest::ReadFile(HALVORY_DRIVEN_CLIENT));
        EXPECT_FALSE(fs::exists(install / "install.log"));
        EXPECT_FALSE(fs::exists(install.string() + ".new"));
    }
    void TearDown() override {
        if (const pid_t started = RunningFrom(fs::canonical(install) / "halvory")) {
            kill(started, SIGTERM);
        }
    }
};

TEST_F(UpgradeTest, ReplacesTheClientWithTheNextVersion) {
    const std::string settings = hvtest::ReadFile(install / "Halvory.ini");
    RunUpgrade("upgrade");
    if (HasFatalFailure()) {
        return;
    }
    const fs::path exe = fs::canonical(install) / "halvory";
    ASSERT_TRUE(halvory::e2e::waitUntil(
        [&] {
            return hvtest::ReadFile(install / "install.log").find("upgrade done") !=
                       std::string::npos &&
                   RunningFrom(exe) != 0;
        },
        30s))
        << hvtest::ReadFile(install / "install.log");
    EXPECT_EQ(hv::ReadVersionStamp(exe.string()), HALVORY_NEXT_VERSION_TEXT);

    // The package's files but its installer, the user's settings and key,
    // the engine's record of them, and nothing of the download or the old
    // install; the catalogue and the art if the new client has logged in by now.
    const fs::path stage = fs::path(HALVORY_UPGRADE_PACKAGE).parent_path() / "stage";
    std::vector<std::string> diff{"/usr/bin/diff", "-r"};
    for (const char* added : {"Installer", "Halvory.ini", "halvory-engine.json", "install.log",
                              "package-key.pub", "moviedata.txt", "art"}) {
        diff.insert(diff.end(), {"-x", added});
    }
    diff.insert(diff.end(), {stage.string(), install.string()});
    EXPECT_EQ(hvtest::RunProgram(diff), 0);
    EXPECT_FALSE(fs::exists(install / "Installer"));
    EXPECT_TRUE(fs::exists(install / "halvory-engine.json"));
    EXPECT_TRUE(fs::exists(install / "package-key.pub"));
    EXPECT_EQ(hvtest::ReadFile(install / "Halvory.ini"), settings);
    EXPECT_FALSE(fs::exists(install.string() + ".old"));
    EXPECT_FALSE(fs::exists(install.string() + ".new"));
}

// Escape during the download, or a package changed on its way (one byte, so
// that it does not match the manifest the service signed): the package is
// deleted before anything of it is unpacked or run, and the old client
// carries on to the login screen.
TEST_F(UpgradeTest, CancelledOrRefusedDownloadKeepsTheClient) {
    for (const auto& [scenario, faults] :
         {std::pair{"upgrade-cancelled", ""}, {"upgrade-refused", R"(, "flip_byte_at": 70000)"}}) {
        SCOPED_TRACE(scenario);
        RunUpgrade(scenario, faults);
        ExpectOldInstall();
        EXPECT_FALSE(fs::exists(install / "Install" / "Install.sfe"));
        EXPECT_FALSE(fs::exists(install / "Install" / "Installer"));
    }
}

// A package whose installer cannot be started: the client says so and goes
// on to the login screen.
class InstallerMissingTest : public UpgradeTest {
  protected:
    void SetUp() override {
        upgradePackage = temp.Path() / "Install.sfe";
        fs::copy_file(HALVORY_UPGRADE_PACKAGE, upgradePackage);
        ASSERT_EQ(hvtest::RunProgram(
                      {"/usr/bin/tar", "--delete", "-f", upgradePackage.string(), "Installer"}),
                  0);
        UpgradeTest::SetUp();
    }
};

TEST_F(InstallerMissingTest, SaysSoAndKeepsTheClient) {
    RunUpgrade("upgrade-installer-missing");
    ExpectOldInstall();
    EXPECT_TRUE(fs::exists(install / "Install" / "halvory"));
}

// The download screen on a slow line: the demo's playable part (the game
// program) takes about `kSecondsToPlay` seconds and the whole package two and
// a half times as long. The throttle goes on once the storage question is
// up, so that the art and pages before it come at full speed.
class DownloadTest : public SessionTest {
  protected:
    static constexpr long long kSecondsToPlay = 6;

    void SetUp() override {
        m_program = static_cast<long long>(fs::file_size(HALVORY_DEMO_GAME));
        packageSize = m_program * 5 / 2;
        SessionTest::SetUp();
    }

    // Runs the walk; `faults` are set when the storage question is up, and
    // `onLine` sees the other lines.
    void Walk(const std::string& scenario, const std::string& faults,
              const std::function<void(const std::string&)>& onLine = {}) {
        RunClient(scenario, [&](const std::string& line) {
            if (line == "e2e: the demo asks where to store it") {
                EXPECT_EQ(service->Faults(faults), 200);
            } else if (onLine) {
                onLine(line);
            }
        });
    }

    std::string Throttle(long long seconds) const {
        return R"({"throttle_bps": )" + std::to_string(m_program / seconds);
    }

    long long m_program = 0;
};

// Connecting, the time to play while downloading, the countdown, the game
// played before the transfer ends (streaming while it runs), downloading
// again once it has closed, and the install. Screenshots go to artifacts/.
TEST_F(DownloadTest, SlowTransferShowsEveryPhase) {
    Walk("download-throttled", Throttle(kSecondsToPlay) + "}");
}

// The connection drops once, a third of the way to the playable part:
// retrying, restored, the game offered and declined (streaming), and an
// install identical to the package.
TEST_F(DownloadTest, DroppedConnectionsAreRetriedAndTheInstallIsExact) {
    fs::path installed;
    Walk("download-dropping",
         Throttle(kSecondsToPlay) + R"(, "drop_after_bytes": )" + std::to_string(m_program / 3) +
             "}",
         [&](const std::string& line) {
             // One drop is enough: the rest of the way goes on slowly.
             if (line == "e2e: restored") {
                 EXPECT_EQ(service->Faults(Throttle(kSecondsToPlay) + "}"), 200);
             }
             const std::string prefix = "e2e: installed in ";
             if (line.rfind(prefix, 0) == 0) {
                 installed = line.substr(prefix.size());
             }
         });
    if (HasFatalFailure()) {
        return;
    }
    ASSERT_FALSE(installed.empty());
    const fs::path expected = temp.Path() / "expected";
    fs::create_directories(expected);
    ASSERT_EQ(hvtest::RunProgram({"/usr/bin/tar", "-xf",
                                  (content / "packages" / "HV-STARFALL-RUN-DEMO.tar").string(),
                                  "-C", expected.string()}),
              0);
    // Every file of the package, byte for byte, and nothing else.
    EXPECT_EQ(hvtest::RunProgram({"/usr/bin/diff", "-r", expected.string(), installed.string()}),
              0);
}

// Backspace asks; No leaves the transfer running, Yes cancels it: back on
// the detail screen with nothing installed.
TEST_F(DownloadTest, CancelAsksAndLeavesNothingInstalled) {
    Walk("download-cancelled", Throttle(10 * kSecondsToPlay) + "}");
}

// The service over TLS with a private authority, which the client, the engine
// and the web view are told of in the settings.
class TlsSessionTest : public SessionTest {
  protected:
    TlsSessionTest() { tls = true; }
};

// The service's pages in the real web view, driven by real keys and mouse:
// announcements, home with What's New, the account page, support, and back
// each time (see the driver's pages scenario), all over TLS. Screenshots go to
// artifacts/. Chromium is not built for the sanitizers, so their builds leave
// this out.
#ifdef HALVORY_BROWSER_PLUGIN
TEST_F(TlsSessionTest, PagesAreShownAndLeftByKeysAndMouse) {
    fs::copy_file(HALVORY_BROWSER_PLUGIN, install / "libhvbrowser.so");
    RunClient("pages");
}
#endif

}  // namespace
