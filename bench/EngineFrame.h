// The engine library driven directly, without the client: loaded by hand as
// the client loads it, with a stand-in for the client's user-interface thread
// that owns the frame window, answers the engine's questions and notes when
// each notification arrives.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <thread>

#include "BenchSupport.h"
#include "halvory/engine.h"

namespace bench {

// The engine's exports the benchmarks call. The library is never closed: its
// threads may outlive hv_Shutdown briefly.
struct Engine {
    PFN_hv_Init init = nullptr;
    PFN_hv_Shutdown shutdown = nullptr;
    PFN_hv_LoginA login = nullptr;
    PFN_hv_DownloadA download = nullptr;
    PFN_hv_SetGamePath setGamePath = nullptr;

    explicit Engine(const char* library);
};

// Halvory.ini in dir for the engine started there, pointing it at the service,
// at the key its packages are signed with and, when given, at the authority
// that alone vouches for it.
void WriteEngineSettings(const std::filesystem::path& dir, const std::string& baseUrl,
                         const std::filesystem::path& packageKey, const std::string& caFile = {});

class EngineFrame {
  public:
    using Clock = std::chrono::steady_clock;

    // Games go to `storage`; `playableBytes` is where the package's playable part ends.
    EngineFrame(const Engine& engine, std::string storage, long long playableBytes);
    ~EngineFrame();
    EngineFrame(const EngineFrame&) = delete;
    EngineFrame& operator=(const EngineFrame&) = delete;

    // Runs fn on a worker, since the engine sends to this thread meanwhile.
    template <typename F>
    auto OnWorker(const char* phase, F fn) {
        using namespace std::chrono_literals;
        auto result = std::async(std::launch::async, fn);
        auto ready = [&] { return result.wait_for(0s) == std::future_status::ready; };
        try {
            PumpUntil(phase, ready);
        } catch (...) {
            // The future's destructor waits for the call: stop the engine so
            // that it returns, and keep serving its sends meanwhile.
            m_engine.shutdown();
            const auto grace = Clock::now() + 10s;
            while (!ready() && Clock::now() < grace) {
                if (hvDispatchPending() == 0) {
                    std::this_thread::sleep_for(1ms);
                }
            }
            if (!ready()) {
                std::fprintf(stderr, "the engine is stuck while %s\n", phase);
                std::_Exit(1);
            }
            throw;
        }
        return result.get();
    }

    // Serves the engine's messages until done() holds; fails on a problem
    // the engine reported or past the run's deadline.
    void PumpUntil(const char* phase, const std::function<bool()>& done);

    // Logs in and takes the package through to its install.
    void Download(const char* user, const char* password, const std::string& package,
                  const std::string& title);

    std::optional<Clock::time_point> firstProgress, playableCovered, playOffer, done;
    long long firstDoneBytes = 0;
    // How long the play question stays unanswered, as a user takes a moment;
    // the engine's other messages are served meanwhile, as under a dialog.
    Clock::duration playAnswerDelay{};

  private:
    static LRESULT Proc(void* context, HWND, UINT msg, WPARAM, LPARAM lParam);

    struct Sample {
        Clock::time_point at;
        long long bytes;
    };

    const Engine& m_engine;
    std::optional<Sample> m_lastShort;
    std::string m_storage;
    long long m_playableBytes;
    HWND m_window = nullptr;
    std::string m_problem;
};

}  // namespace bench
