// The engine behind the exported calls: one instance per process.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

#include "EngineThreads.h"
#include "PartFile.h"
#include "State.h"
#include "halvory/engine.h"
#include "trust/PackageManifest.h"
#include "winapi/UniqueHandle.h"

namespace hv {

// One package transfer: shared between the transfer thread, its extraction
// thread and the calls that cancel it or start its game early.
struct TransferJob {
    std::string package, title, archiveUrl, sha256, program;
    bool demo = false;
    std::uint64_t size = 0, playable = 0;
    PackageManifest manifest;  // signed by the service: every block must match it
    std::filesystem::path installDir, stagingDir, partFile;

    PartFile part;
    std::atomic<bool> cancel{false};
    std::atomic<bool> playableReady{false};
    std::jthread playQuestion;  // set by the extraction, joined by the transfer thread
    // Either one ends the download early: the archive cannot be extracted,
    // or a write (of the part file or of the extraction) found no room.
    std::atomic<bool> badArchive{false};
    std::atomic<bool> diskFull{false};
    std::mutex mutex;
    std::condition_variable changed;  // told when cancel, badArchive or diskFull is set
    std::string failure;   // under mutex: why it failed, for the user; the first reason stays
    int loggedState = -1;  // the transfer thread's own
};

class Engine {
  public:
    static Engine& Instance();

    int Init(HWND frame);
    int Shutdown();
    int Login(const char* user, const char* password);
    int CancelLogin();
    int LogOut();
    int AccountUrl(char* buffer);
    int Download(const char* package, const char* title, char* buffer);
    int Cancel(const char* package);
    int DeletePackage(const char* package);
    int Play(const char* title);
    int SetGamePath(const char* path);

  private:
    struct PackageInfo;

    LRESULT Send(UINT msg, WPARAM wParam, LPARAM lParam);
    void Post(UINT msg, WPARAM wParam, LPARAM lParam);
    std::string Session();
    void SaveStateLocked();
    void SyncState();

    void StartWatcher(const std::string& session, long long catalogueVersion);
    void StopWatcher();
    void Watch(const std::stop_token& stop, const std::string& session, long long catalogueVersion);
    void EndSession(const std::string& session);

    int FetchPackage(const std::string& package, PackageInfo& info);
    int Purchase(const PackageInfo& info, const std::string& title);
    int FetchManifest(const PackageInfo& info, const std::string& title, PackageManifest& manifest,
                      char* buffer);
    void StopTransfer();
    void RunTransfer(std::shared_ptr<TransferJob> job);
    bool DownloadArchive(TransferJob& job, bool& lostConnection);
    void ExtractArchive(std::shared_ptr<TransferJob> job, bool* ok);
    void OnPlayable(TransferJob& job);
    bool InstallStaged(TransferJob& job);
    void SendProgress(TransferJob& job, const TransferProgress& progress);

    // False, with the reason in why, when the game could not be started.
    bool LaunchGame(const std::filesystem::path& folder, const std::string& program,
                    std::string& why);
    void WatchGame(const std::stop_token& stop, pid_t pid);
    void EndGame();

    std::mutex m_mutex;  // guards everything below that is not atomic
    std::atomic<HWND> m_frame{nullptr};
    std::string m_baseUrl;
    std::string m_packageKey;  // PEM: the public key the manifests must be signed with
    std::filesystem::path m_stateFile;
    EngineState m_state;
    std::string m_session;
    std::string m_gamePath;

    std::atomic<bool> m_loginCancel{false};
    std::jthread m_watcherThread;  // stopped through its token

    std::atomic<bool> m_downloadBusy{false};
    std::atomic<bool> m_abort{false};
    // Also wakes the wait for the purchase answer, a wait on platform events.
    UniqueHandle m_abortEvent;
    std::unique_ptr<SendingThread> m_transferThread;
    std::shared_ptr<TransferJob> m_job;

    pid_t m_gamePid = 0;
    std::jthread m_gameThread;  // stopped through its token
};

}  // namespace hv
