#include "catalogue/GameInfoThread.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <exception>
#include <utility>

#include "messages/Messages.h"
#include "net/HttpSession.h"
#include "net/PercentEncode.h"
#include "net/TempFile.h"

namespace {

// What the thread needs of a record, copied when the thread is made: a later
// parse appends to the list and rewrites records while an abandoned thread may
// still walk them. Only the icon is reached through the record itself.
struct ArtRecord {
    GameInfo* game;
    std::string title;
    std::string package;
    std::string iconFile;
    std::string descFile;
};

}  // namespace

struct CGameInfoThread::State {
    std::atomic<bool> stop{false};
    std::atomic<unsigned> bodies{0};
    std::atomic<DWORD> exitCode{0};
    HWND notifyWnd = nullptr;
    std::string artUrl;
    std::vector<ArtRecord> records;
    // Read on the creating thread: nothing may change the environment while
    // another thread reads it.
    std::string tempFolder = CTempFile::SystemFolder();
};

namespace {

// Art is small; a larger answer is not art and is not stored.
constexpr int64_t kMaxArtBytes = int64_t{64} << 20;
// An icon is kept no larger than a tile can show, and a larger file is no icon:
// every record holds its picture for the whole session.
constexpr uint32_t kIconMaxSide = 512;
constexpr size_t kIconMaxFileBytes = size_t{8} << 20;

struct LocalFile {
    bool exists = false;
    int64_t size = 0;
    int64_t modified = 0;  // seconds since 1970 (UTC)
};

LocalFile ReadLocalFile(const std::string& path) {
    LocalFile local;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return local;
    }
    local.exists = true;
    struct stat st {};
    if (::fstat(fd, &st) == 0) {
        local.size = st.st_size;
        local.modified = st.st_mtim.tv_sec;
    }
    ::close(fd);
    return local;
}

bool CanRead(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    return true;
}

// Every folder along the path that is not there yet, outermost first.
void CreateFoldersAlong(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string folder = path.substr(0, slash + 1);
        struct stat st {};
        if (::stat(folder.c_str(), &st) != 0) {
            ::mkdir(folder.c_str(), 0777);
        }
    }
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

void SignalDrawDone() {
    const hv::UniqueHandle event(CreateEventA(nullptr, FALSE, FALSE, kGameIconsDrawDone));
    if (event) {
        SetEvent(event.Get());
    }
}

// Decodes outside the lock, so that the painting code waits only for the swap.
void LoadIconImage(GameInfo& game, const std::string& iconFile) {
    auto image = std::make_unique<CxImage>(CXIMAGE_FORMAT_JPG);
    if (!image->LoadFitted(iconFile, CXIMAGE_FORMAT_JPG, kIconMaxSide, kIconMaxFileBytes)) {
        image.reset();
    }
    std::lock_guard lock(game.m_csIcon);
    game.m_pIconImage.swap(image);
}

bool Fetchable(const HttpHeaders& headers) {
    return headers.status == 200 && headers.lastModified >= 0 && headers.contentLength >= 0 &&
           headers.contentLength <= kMaxArtBytes;
}

bool SameAsLocal(const HttpHeaders& headers, const LocalFile& local) {
    return local.exists && headers.contentLength == local.size &&
           headers.lastModified == local.modified;
}

// The body is complete in the temporary folder; a sibling of the local file
// gets the copy and the server's time, then takes the local name in one step.
bool ReplaceLocalFile(const CTempFile& body, const std::string& localPath, int64_t modified) {
    CTempFile sibling(FolderOf(localPath));
    return sibling.IsOpen() && sibling.CopyFrom(body) && sibling.SetModified(modified) &&
           sibling.MoveTo(localPath);
}

class CArtSync {
  public:
    explicit CArtSync(CGameInfoThread::State& state) : m_state(state) {}

    DWORD Run();

  private:
    bool Stopping() const { return m_state.stop.load(); }
    // 1 when a new local file was written, else 0.
    int DownloadIfNewer(CHttpSession& session, const std::string& localPath,
                        const std::string& url);

    CGameInfoThread::State& m_state;
};

DWORD CArtSync::Run() {
    std::string address = m_state.artUrl;
    if (address.empty()) {
        SignalDrawDone();
        return 0;
    }
    address.erase(address.find_last_not_of(' ') + 1);

    for (const ArtRecord& record : m_state.records) {
        if (Stopping()) {
            SignalDrawDone();
            return 0;
        }
        if (CanRead(record.iconFile)) {
            LoadIconImage(*record.game, record.iconFile);
        }
    }
    SignalDrawDone();

    CHttpSession session(m_state.stop);
    if (!session.IsOpen()) {
        return 1;
    }
    for (const ArtRecord& record : m_state.records) {
        if (Stopping()) {
            return 0;
        }
        const std::string url = address + PercentEncodeSegment(record.title);
        if (DownloadIfNewer(session, record.iconFile, url + ".jpg") == 1) {
            if (Stopping()) {
                return 0;
            }
            LoadIconImage(*record.game, record.iconFile);
            if (m_state.notifyWnd != nullptr && IsWindow(m_state.notifyWnd)) {
                hv::Send<UWM_ICON_READY>(m_state.notifyWnd, {}, record.package.c_str());
            }
        }
        if (Stopping()) {
            return 0;
        }
        DownloadIfNewer(session, record.descFile, url + ".txt");
    }
    return Stopping() ? 0 : 1;
}

int CArtSync::DownloadIfNewer(CHttpSession& session, const std::string& localPath,
                              const std::string& url) {
    const LocalFile local = ReadLocalFile(localPath);
    if (!local.exists) {
        CreateFoldersAlong(localPath);
    }
    // A HEAD first keeps the connection for the next file when nothing changed.
    HttpHeaders head;
    if (!session.Head(url, &head) || !Fetchable(head) || SameAsLocal(head, local)) {
        return 0;
    }
    CTempFile body(m_state.tempFolder);
    if (!body.IsOpen()) {
        return 0;
    }
    // The GET's own headers decide: the file may have changed since the HEAD.
    HttpHeaders got;
    const bool complete = session.Get(
        url,
        [this, &local](const HttpHeaders& headers) {
            if (!Fetchable(headers) || SameAsLocal(headers, local)) {
                return false;
            }
            m_state.bodies.fetch_add(1);
            return true;
        },
        [&body](const char* data, size_t size) { return body.Write(data, size); }, &got);
    if (!complete || Stopping() || static_cast<int64_t>(body.Size()) != got.contentLength) {
        return 0;
    }
    return ReplaceLocalFile(body, localPath, got.lastModified) ? 1 : 0;
}

}  // namespace

CGameInfoThread::CGameInfoThread(HWND notifyWnd, std::string artUrl, const GameList& records)
    : m_state(std::make_shared<State>()) {
    m_state->notifyWnd = notifyWnd;
    m_state->artUrl = std::move(artUrl);
    m_state->records.reserve(records.size());
    for (const auto& game : records) {
        if (game) {
            m_state->records.push_back({game.get(), std::string(game->m_strTitle),
                                        std::string(game->m_strPackage), game->IconFile(),
                                        game->DescFile()});
        }
    }
}

CGameInfoThread::~CGameInfoThread() {
    m_state->stop = true;
}

bool CGameInfoThread::CreateThread() {
    if (m_thread) {
        return false;
    }
    m_thread = hv::Thread::Start([state = m_state] {
        try {
            state->exitCode = CArtSync(*state).Run();
        } catch (const std::exception&) {
            state->exitCode = 1;
        }
    });
    return static_cast<bool>(m_thread);
}

bool CGameInfoThread::Stop(DWORD timeoutMs) {
    if (!m_thread.IsRunning()) {
        return true;
    }
    m_state->stop = true;
    return Wait(timeoutMs);
}

bool CGameInfoThread::Wait(DWORD timeoutMs) {
    return m_thread.Wait(timeoutMs);
}

DWORD CGameInfoThread::ExitCode() const {
    return m_thread.IsRunning() ? STILL_ACTIVE : m_state->exitCode.load();
}

unsigned CGameInfoThread::BodiesFetched() const {
    return m_state->bodies.load();
}
