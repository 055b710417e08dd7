// The engine behind the exported calls: one instance per process.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "PartFile.h"
#include "State.h"
#include "halvory/engine.h"

namespace hv {

// One package transfer: shared between the transfer thread, its extraction
// and hash threads and the calls that cancel it or start its game early.
struct TransferJob {
    std::string package, title, archiveUrl, sha256, program;
    bool demo = false;
    std::uint64_t size = 0, playable = 0;
    std::filesystem::path installDir, stagingDir, partFile;

    PartFile part;
    std::atomic<bool> cancel{false};
    std::atomic<bool> playableReady{false};
    // Either one ends the download early: the archive cannot be extracted,
    // or a write (of the part file or of the extraction) found no room.
    std::atomic<bool> badArchive{false};
    std::atomic<bool> diskFull{false};
    std::mutex mutex;
    std::condition_variable changed;  // told when cancel, badArchive or diskFull is set
};

class Engine {
  public:
    static Engine& instance();

    int init(HWND frame);
    int shutdown();
    int login(const char* user, const char* password);
    int cancelLogin();
    int logOut();
    int accountUrl(char* buffer);
    int download(const char* package, const char* title, char* buffer);
    int cancel(const char* package);
    int deletePackage(const char* package);
    int play(const char* title);
    int setGamePath(const char* path);

  private:
    struct PackageInfo;

    LRESULT send(UINT msg, WPARAM wParam, LPARAM lParam);
    void post(UINT msg, WPARAM wParam, LPARAM lParam);
    std::string session();
    void saveStateLocked();
    void syncState();

    void startWatcher(const std::string& session, long long catalogueVersion);
    void stopWatcher();
    void watch(std::string session, long long catalogueVersion,
               std::shared_ptr<std::atomic<bool>> stop);
    void endSession(const std::string& session);

    int fetchPackage(const std::string& package, PackageInfo& info);
    int purchase(const PackageInfo& info, const std::string& title);
    void stopTransfer();
    void runTransfer(std::shared_ptr<TransferJob> job);
    bool downloadArchive(TransferJob& job, bool& lostConnection);
    void extractArchive(std::shared_ptr<TransferJob> job, bool* ok);
    void onPlayable(TransferJob& job);
    bool installStaged(const TransferJob& job);
    void sendProgress(const TransferProgress& progress);

    bool launchGame(const std::filesystem::path& folder, const std::string& program);
    void watchGame(pid_t pid);
    void endGame();

    std::mutex m_mutex;  // guards everything below that is not atomic
    std::atomic<HWND> m_frame{nullptr};
    std::string m_baseUrl;
    std::filesystem::path m_stateFile;
    EngineState m_state;
    std::string m_session, m_accountUrl;
    std::string m_gamePath;

    std::atomic<bool> m_loginCancel{false};
    HANDLE m_watcherThread = nullptr;
    std::shared_ptr<std::atomic<bool>> m_watcherStop;

    std::atomic<bool> m_downloadBusy{false};
    std::atomic<bool> m_abort{false};
    HANDLE m_abortEvent = nullptr;
    HANDLE m_transferThread = nullptr;
    std::shared_ptr<TransferJob> m_job;

    pid_t m_gamePid = 0;
    HANDLE m_gameThread = nullptr;
    std::atomic<bool> m_gameWatchStop{false};
};

// Runs fn on a platform thread, so that a wait for it can keep handling
// messages sent to the waiting thread.
HANDLE startThread(std::function<void()> fn);
// Waits for the thread to end and closes its handle; null is fine.
void joinThread(HANDLE thread);

}  // namespace hv
