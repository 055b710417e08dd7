#include "EngineFrame.h"

#include <dlfcn.h>

#include <fstream>

namespace bench {

namespace {

template <typename F>
F Resolve(void* lib, const char* name) {
    void* symbol = ::dlsym(lib, name);
    if (!symbol) {
        fail(std::string("the engine does not export ") + name);
    }
    return reinterpret_cast<F>(symbol);
}

}  // namespace

Engine::Engine(const char* library) {
    void* lib = ::dlopen(library, RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        fail(std::string("cannot load the engine: ") + ::dlerror());
    }
    init = Resolve<PFN_hv_Init>(lib, "hv_Init");
    shutdown = Resolve<PFN_hv_Shutdown>(lib, "hv_Shutdown");
    login = Resolve<PFN_hv_LoginA>(lib, "hv_LoginA");
    download = Resolve<PFN_hv_DownloadA>(lib, "hv_DownloadA");
    setGamePath = Resolve<PFN_hv_SetGamePath>(lib, "hv_SetGamePath");
}

void WriteEngineSettings(const std::filesystem::path& dir, const std::string& baseUrl,
                         const std::filesystem::path& packageKey, const std::string& caFile) {
    std::ofstream ini(dir / "Halvory.ini");
    ini << "ENGINE_URL=" << baseUrl << "/\n"
        << "PACKAGEKEY=" << packageKey.string() << "\n";
    if (!caFile.empty()) {
        ini << "CAFILE=" << caFile << "\n";
    }
    if (!ini) {
        fail("cannot write Halvory.ini");
    }
}

EngineFrame::EngineFrame(const Engine& engine, std::string storage, long long playableBytes)
    : m_engine(engine), m_storage(std::move(storage)), m_playableBytes(playableBytes) {
    m_window = hvCreateWindowHandle(&EngineFrame::Proc, this);
    m_engine.init(m_window);
}

EngineFrame::~EngineFrame() {
    m_engine.shutdown();
    hvDispatchPending();
    hvDestroyWindowHandle(m_window);
}

void EngineFrame::PumpUntil(const char* phase, const std::function<bool()>& done) {
    while (!done()) {
        if (!m_problem.empty()) {
            fail(m_problem + " while " + phase);
        }
        CheckDeadline(phase);
        if (hvDispatchPending() == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
}

void EngineFrame::Download(const char* user, const char* password, const std::string& package,
                           const std::string& title) {
    const int login = OnWorker("logging in", [&] { return m_engine.login(user, password, 1); });
    if (login != HV_LOGIN_OK && login != HV_LOGIN_OK_ALT) {
        fail("engine login failed with code " + std::to_string(login));
    }
    const int started = OnWorker("starting the download", [&] {
        char buffer[HV_BUFFER_SIZE] = {};
        return m_engine.download(package.c_str(), title.c_str(), 1, buffer);
    });
    if (started != HV_DL_OK) {
        fail("engine download failed with code " + std::to_string(started));
    }
    PumpUntil("downloading with the engine", [this] { return done.has_value(); });
    if (!firstProgress) {
        fail("the engine sent no progress record");
    }
}

LRESULT EngineFrame::Proc(void* context, HWND, UINT msg, WPARAM, LPARAM lParam) {
    auto* self = static_cast<EngineFrame*>(context);
    const auto now = Clock::now();
    switch (msg) {
        case UWM_ENGINE_PROGRESS: {
            const auto& p = *reinterpret_cast<const TransferProgress*>(lParam);
            const long long bytes = static_cast<long long>(p.lDone) * 1024;
            if (!self->firstProgress) {
                self->firstProgress = now;
                self->firstDoneBytes = bytes;
            }
            // Records come at intervals: place the crossing between the
            // last record short of the playable part and the first past it.
            if (!self->playableCovered && bytes >= self->m_playableBytes) {
                self->playableCovered = now;
                if (self->m_lastShort && bytes > self->m_lastShort->bytes) {
                    const double share =
                        static_cast<double>(self->m_playableBytes - self->m_lastShort->bytes) /
                        static_cast<double>(bytes - self->m_lastShort->bytes);
                    self->playableCovered =
                        self->m_lastShort->at + std::chrono::duration_cast<Clock::duration>(
                                                    (now - self->m_lastShort->at) * share);
                }
            } else if (!self->playableCovered) {
                self->m_lastShort = Sample{now, bytes};
            }
            return 0;
        }
        case UWM_CONFIRM_PURCHASE: {
            // The engine waits on the named event for the second confirmation.
            HANDLE yes = CreateEventA(nullptr, TRUE, FALSE, HV_PURCHASE_EVENT);
            SetEvent(yes);
            CloseHandle(yes);
            return 1;
        }
        case UWM_ASK_STORAGE: self->m_engine.setGamePath(self->m_storage.c_str()); return 1;
        case UWM_ASK_PLAY_NOW:
            if (!self->playOffer) {
                self->playOffer = now;
            }
            while (Clock::now() < now + self->playAnswerDelay) {
                if (hvDispatchPending() == 0) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
            }
            return 0;
        case UWM_DOWNLOAD_DONE: self->done = now; return 0;
        case UWM_CONNECTION_LOST: self->m_problem = "the engine lost the service"; return 0;
        case UWM_DISK_FULL: self->m_problem = "the engine reported a full disk"; return 0;
        case UWM_ENGINE_CANCEL: self->m_problem = "the engine cancelled the download"; return 0;
    }
    return 0;
}

}  // namespace bench
