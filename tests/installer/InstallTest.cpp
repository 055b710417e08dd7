#include "Install.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "../support/TestFiles.h"
#include "InstallFolders.h"
#include "Processes.h"
#include "winapi/LockPath.h"

namespace fs = std::filesystem;
using namespace hv::installer;
using std::chrono::milliseconds;

namespace {

// Relative path to content of every file of an install, but the run records.
using Files = std::map<std::string, std::string>;

Files ReadInstall(const fs::path& folder) {
    Files files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string relative = entry.path().lexically_relative(folder).string();
        if (entry.is_regular_file() && relative != "runs" && relative != kLogFileName) {
            files[relative] = hvtest::ReadFile(entry.path());
        }
    }
    return files;
}

std::vector<pid_t> Runs(const fs::path& folder) {
    std::vector<pid_t> pids;
    std::ifstream in(folder / "runs");
    for (pid_t pid = 0; in >> pid;) {
        pids.push_back(pid);
    }
    return pids;
}

// An installed client in a temporary folder, with a package unpacked in its
// install folder; its own runtime folder keeps the instance lock private.
class InstallTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ::setenv("XDG_RUNTIME_DIR", m_root.Path().c_str(), 1);
        m_settings = {hv::NamedLockPath(kClientInstanceName), milliseconds(2000),
                      milliseconds(3000)};
        const std::string text = m_app.string() + "/," + m_install.string() + ",Config.ini," +
                                 Exe().string() + "," + m_app.string() + "/HVXX.dat,";
        std::string error;
        m_parameters = *ParseInstallParameters(text, error);
        const Files old = {{"behaviour", "brief"},        {"Halvory.ini", "user settings"},
                           {"Config.ini", "user config"}, {"moviedata.txt", "catalogue"},
                           {"art/1.jpg", "art"},          {"HVXX.dat", "user data"},
                           {"libold.so", "only old"},     {"libhalvory.so", "old engine"}};
        const Files package = {{"behaviour", "run"},
                               {"libhalvory.so", "new engine"},
                               {"Config.ini", "package config"},
                               {"Halvory.ini", "package settings"},
                               {"art/2.jpg", "new art"},
                               {"Install.sfe", "archive"},
                               {".hv-7-1.tmp", "scratch"}};
        for (const auto& [folder, files] : {std::pair{m_app, old}, {m_install, package}}) {
            for (const auto& [name, content] : files) {
                hvtest::WriteFile(folder / name, content);
            }
        }
        const auto options = fs::copy_options::overwrite_existing;
        fs::copy_file(HV_TEST_FAKE_CLIENT, Exe(), options);
        fs::copy_file(HV_TEST_FAKE_CLIENT, m_install / "halvory", options);
        fs::copy_file(HV_TEST_FAKE_CLIENT, m_install / "Installer", options);
    }

    // Ends the clients this test started that still run; a pid that is no
    // longer an unreaped child of ours may belong to anybody by now.
    void TearDown() override {
        for (const pid_t pid : Runs(m_app)) {
            if (::waitpid(pid, nullptr, WNOHANG) == 0) {
                StopChild(pid);
            }
        }
        while (::waitpid(-1, nullptr, WNOHANG) > 0) {
        }
    }

    fs::path Exe() const { return m_app / "halvory"; }

    // Starts the installed client as the upgrade finds it: running.
    void StartOldClient() {
        const pid_t pid = StartDetached(Exe(), m_app);
        ASSERT_GT(pid, 0);
        ASSERT_EQ(WaitUntilHoldingLock(pid, m_settings.lockFile, milliseconds(3000)),
                  StartOutcome::Running);
    }

    std::string Log() const { return hvtest::ReadFile(m_app / kLogFileName); }

    hvtest::TempDir m_root;
    fs::path m_app = m_root.Path() / "Halvory";
    fs::path m_install = m_app / "Install";
    InstallSettings m_settings;
    InstallParameters m_parameters;
};

// One upgrade per row, of a fresh install whose old client runs: it puts the
// package in place and keeps the user's files, or it leaves the old install
// as it was and starts its client again.
TEST_F(InstallTest, PutsThePackageInPlaceOrLeavesTheOldInstall) {
    const struct {
        const char* what;
        const char* oldBehaviour;
        const char* newBehaviour;
        bool packageHasClient;
        InstallResult result;
        size_t runs;  // of the clients, counting the first
    } rows[] = {
        {"the upgrade succeeds", "brief", "run", true, kInstalled, 2},
        {"the old client never ends", "run", "run", true, kOldClientStillRuns, 1},
        {"the new client fails", "brief", "fail", true, kNewClientFailed, 2},
        {"the new client never takes its lock", "brief", "hang", true, kNewClientFailed, 2},
        {"the package lacks the client", "brief", "run", false, kStagingFailed, 2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TearDown();
        fs::remove_all(m_app);
        SetUp();
        hvtest::WriteFile(m_app / "behaviour", row.oldBehaviour);
        hvtest::WriteFile(m_install / "behaviour", row.newBehaviour);
        if (!row.packageHasClient) {
            fs::remove(m_install / "halvory");
        }
        Files expected = ReadInstall(m_app);
        if (row.result == kInstalled) {
            expected = {{"behaviour", "run"},           {"Halvory.ini", "user settings"},
                        {"Config.ini", "user config"},  {"moviedata.txt", "catalogue"},
                        {"art/1.jpg", "art"},           {"art/2.jpg", "new art"},
                        {"HVXX.dat", "user data"},      {"libold.so", "only old"},
                        {"libhalvory.so", "new engine"}};
            expected["halvory"] = ReadInstall(m_install)["halvory"];
        }
        StartOldClient();
        EXPECT_EQ(RunInstall(m_parameters, m_settings, InstallLog(m_app / kLogFileName, false)),
                  row.result)
            << Log();
        EXPECT_EQ(ReadInstall(m_app), expected);
        EXPECT_FALSE(fs::exists(SiblingOf(m_app, ".old")));
        EXPECT_FALSE(fs::exists(SiblingOf(m_app, ".new")));
        const auto runs = Runs(m_app);
        EXPECT_EQ(runs.size(), row.runs);
        if (row.result == kInstalled && !runs.empty()) {
            EXPECT_TRUE(HoldsLock(runs.back(), m_settings.lockFile));
        }
        EXPECT_NE(Log().find("upgrading"), std::string::npos) << Log();
        EXPECT_EQ(Log().find("upgrade done") != std::string::npos, row.result == kInstalled);
    }
}

}  // namespace
