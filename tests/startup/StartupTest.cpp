#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "../support/TestFiles.h"
#include "ChildProcess.h"

namespace fs = std::filesystem;
using halvory::e2e::ChildProcess;
using halvory::e2e::waitUntil;
using hvtest::ReadFile;
using namespace std::chrono_literals;

namespace {

// A fresh install folder with its own runtime folders, so this test's
// clients never meet another test's or the user's.
class ClientInstall : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(root / "run");
        fs::permissions(root / "run", fs::perms::owner_all);
        fs::create_directories(root / "tmp");
        fs::copy_file(HALVORY_CLIENT, root / "halvory");
        fs::copy_file(HALVORY_PLATFORM_LIBRARY, root / "libhvplatform.so");
        fs::copy_file(RECORDING_ENGINE, root / "libhalvory.so");
    }

    std::unique_ptr<ChildProcess> Start(const std::string& name,
                                        std::vector<std::string> args = {}) {
        ChildProcess::Options options;
        options.args = std::move(args);
        options.set_env = {"QT_QPA_PLATFORM=offscreen",
                           "XDG_RUNTIME_DIR=" + (root / "run").string(),
                           "TMPDIR=" + (root / "tmp").string(),
                           "HV_RECORD_FILE=" + (root / (name + ".log")).string()};
        auto child = std::make_unique<ChildProcess>((root / "halvory").string(), options);
        EXPECT_TRUE(child->started()) << child->error();
        return child;
    }
    std::string Log(const std::string& name) { return ReadFile(root / (name + ".log")); }

    const hvtest::TempDir m_dir;
    const fs::path root = m_dir.Path();
};

bool Running(ChildProcess& child) {
    return !child.waitForExit(0ms).has_value();
}

}  // namespace

TEST_F(ClientInstall, SecondStartActivatesTheFirstAndEnds) {
    auto first = Start("first");
    ASSERT_TRUE(waitUntil([&] { return Log("first").find("hv_Init") != std::string::npos; }, 20s));
    // The first client publishes its window right after creating it.
    std::this_thread::sleep_for(300ms);

    auto second = Start("second");
    const auto status = second->waitForExit(20s);
    ASSERT_TRUE(status.has_value()) << "the second client kept running";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
    EXPECT_EQ(Log("second"), "") << "the second client must not start an engine";
    EXPECT_TRUE(waitUntil(
        [&] { return Log("first").find("hv_SetGameForeground") != std::string::npos; }, 10s));
    EXPECT_TRUE(Running(*first));
    EXPECT_EQ(Log("first").find("hv_LoginA"), std::string::npos) << "no credentials, no login";
    first->terminate();
}

TEST_F(ClientInstall, TwoStartsAtOnceLeaveOneClient) {
    auto a = Start("a");
    auto b = Start("b");
    ASSERT_TRUE(waitUntil([&] { return !Running(*a) || !Running(*b); }, 20s));
    std::this_thread::sleep_for(500ms);
    EXPECT_NE(Running(*a), Running(*b));
    ChildProcess& survivor = Running(*a) ? *a : *b;
    ChildProcess& other = Running(*a) ? *b : *a;
    const auto status = other.waitForExit(0ms);
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
    survivor.terminate();
}

TEST_F(ClientInstall, CredentialsOnTheCommandLineLogInAtOnceAndHideThePassword) {
    auto client = Start("client", {"/u", " ada//pa//ss", "word"});
    ASSERT_TRUE(
        waitUntil([&] { return Log("client").find("hv_LoginA") != std::string::npos; }, 20s));
    // Joined by blanks: "/u  ada//pa//ss word"; the user name keeps its blanks.
    EXPECT_NE(Log("client").find("hv_LoginA [  ada] [pa//ss word] 1"), std::string::npos)
        << Log("client");
    // What the process list shows after the program's own path.
    const std::string shown = ReadFile("/proc/" + std::to_string(client->pid()) + "/cmdline");
    EXPECT_EQ(shown.substr(shown.find('\0')), std::string("\0/u\0 ada//******\0****\0", 22));
    client->terminate();
}
