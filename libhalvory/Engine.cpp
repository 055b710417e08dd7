#include "EngineImpl.h"

#include <signal.h>
#include <spawn.h>
#include <strings.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string_view>
#include <system_error>
#include <vector>

#include <nlohmann/json.hpp>

#include "Archive.h"
#include "Files.h"
#include "Http.h"
#include "net/CurlEasy.h"
#include "net/PercentEncode.h"
#include "winapi/Log.h"

extern char** environ;

namespace hv {
namespace fs = std::filesystem;
using nlohmann::json;

namespace {

constexpr const char* kIniFile = "Halvory.ini";
constexpr const char* kIniKey = "ENGINE_URL";
// The certificates (PEM) that alone vouch for the service; unset: the system's.
constexpr const char* kCaFileKey = "CAFILE";
// The public key (PEM) that package manifests must be signed with; unset:
// nothing can be downloaded.
constexpr const char* kPackageKeyKey = "PACKAGEKEY";
constexpr std::size_t kMaxKeyBytes = 64 << 10;
constexpr const char* kDefaultUrl = "http://127.0.0.1:8765";
constexpr const char* kStateFile = "halvory-engine.json";
constexpr const char* kCatalogueFile = "moviedata.txt";
constexpr const char* kPlayerVersion = "1,0,0,1";
constexpr std::uint64_t kMaxPackageBytes = std::uint64_t{1} << 40;
constexpr std::size_t kMaxCatalogueBytes = 64 << 20;
// A manifest's lines other than its blocks' hashes.
constexpr std::size_t kMaxManifestBytes = 64 << 10;
constexpr std::size_t kMaxSessionTokenBytes = 256;
// The watcher reports a lost service after this many failed polls in a row.
constexpr int kWatcherFailures = 3;
// A poll answered sooner than this did not wait for news: the next one waits
// first, a little longer each time, so that a service that answers at once is
// not asked in a loop.
constexpr auto kQuickAnswer = std::chrono::milliseconds(1000);
constexpr auto kFirstPollPause = std::chrono::milliseconds(250);
constexpr auto kLongestPollPause = std::chrono::milliseconds(4000);
// The client asks for the account page on its user-interface thread.
constexpr long kAccountLinkTimeoutSeconds = 3;

json ParseObject(const std::string& text) {
    json doc = json::parse(text, nullptr, false);
    return doc.is_object() ? doc : json::object();
}

int ErrorCode(const HttpResponse& response, int fallback) {
    json doc = ParseObject(response.body);
    auto it = doc.find("code");
    return it != doc.end() && it->is_number_integer() ? it->get<int>() : fallback;
}

// A folder the engine may create, fill and clear out, and put its own
// ".hvpart", ".hvstaging" and ".hvold" beside: its last part is a plain name
// and no part of it leads upwards.
bool IsGameFolder(const std::string& path) {
    if (path.empty() || path.back() == '/') {
        return false;
    }
    std::size_t start = 0;
    std::string part;
    for (;;) {
        std::size_t end = path.find('/', start);
        part = path.substr(start, end == std::string::npos ? end : end - start);
        if (part == "..") {
            return false;
        }
        if (end == std::string::npos) {
            return part != ".";
        }
        start = end + 1;
    }
}

void CopyText(char* buffer, const std::string& text) {
    if (!buffer) {
        return;
    }
    std::size_t n = std::min<std::size_t>(text.size(), HV_BUFFER_SIZE - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

// Shown in place of the account page when the service gives no link: an
// address that needs no service, short enough for the client's buffer.
std::string AccountUnavailablePage() {
    return "data:text/html," +
           PercentEncodeSegment(
               "<body style=background:#0A1424;color:#EEE;font-family:sans-serif>"
               "<h1 style=color:#3FC1FF>Account page unavailable</h1>"
               "<p>Please try again in a moment.");
}

// A token goes into a header line: plain visible characters only.
bool IsSessionToken(std::string_view token) {
    return !token.empty() && token.size() <= kMaxSessionTokenBytes &&
           std::all_of(token.begin(), token.end(),
                       [](unsigned char c) { return c > ' ' && c < 0x7F; });
}

// A request in the session's name: the token goes in a header, never in the
// address, which the service's and proxies' logs keep.
HttpRequest SessionRequest(std::string url, const std::string& session) {
    HttpRequest request{std::move(url)};
    request.headers = {"X-Session: " + session};
    return request;
}

// A number the service may have left out or sent as something else.
long long IntegerField(const json& doc, const char* name, long long fallback) {
    auto it = doc.find(name);
    return it != doc.end() && it->is_number_integer() ? it->get<long long>() : fallback;
}

// Puts the session's catalogue in place of the file the client reads; the
// result is a login code.
int FetchCatalogue(const std::string& base, const std::string& session,
                   const std::atomic<bool>* cancel) {
    HttpRequest request = SessionRequest(base + "/api/catalogue", session);
    request.maxBody = kMaxCatalogueBytes;
    HttpResponse response = HttpPerform(request, cancel);
    if (cancel && cancel->load()) {
        return HV_LOGIN_CANCELLED;
    }
    if (response.status != 200) {
        return HV_LOGIN_UNREACHABLE;
    }
    return WriteFileAtomic(kCatalogueFile, response.body) ? HV_LOGIN_OK : HV_LOGIN_CLIENT_ERROR;
}

}  // namespace

struct Engine::PackageInfo {
    std::string package, price, archiveUrl, sha256, program;
    bool demo = false, owned = false;
    std::uint64_t size = 0, playable = 0;
};

// Never destroyed: a client that never shut the engine down leaves its
// threads running while the process exits, and they still use it.
// Destroyed when the library is unloaded, after hv_Shutdown has stopped its
// threads; the client unloads it only once no thread of its own is inside.
Engine& Engine::Instance() {
    static Engine engine;
    return engine;
}

LRESULT Engine::Send(UINT msg, WPARAM wParam, LPARAM lParam) {
    HWND frame = m_frame.load();
    if (!frame) {
        return 0;
    }
    const LRESULT answer = SendMessageA(frame, msg, wParam, lParam);
    if (msg != UWM_ENGINE_PROGRESS) {
        LogInfo("sent WM_USER+%u to the frame, answer %ld", msg - WM_USER,
                static_cast<long>(answer));
    }
    return answer;
}

void Engine::Post(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (HWND frame = m_frame.load()) {
        const BOOL posted = PostMessageA(frame, msg, wParam, lParam);
        LogInfo("posted WM_USER+%u (%lu, %ld) to the frame%s", msg - WM_USER,
                static_cast<unsigned long>(wParam), static_cast<long>(lParam),
                posted ? "" : ", which refused it");
    }
}

std::string Engine::Session() {
    std::lock_guard lock(m_mutex);
    return m_session;
}

// Quick enough to hold the lock for; SyncState() later puts it on the disk.
void Engine::SaveStateLocked() {
    m_state.Save(m_stateFile, false);
}

void Engine::SyncState() {
    fs::path file;
    {
        std::lock_guard lock(m_mutex);
        file = m_stateFile;
    }
    SyncFile(file);
}

int Engine::Init(HWND frame) {
    std::error_code ec;
    std::string url = ReadIniValue(kIniFile, kIniKey);
    CCurlEasy::TrustOnly(ReadIniValue(kIniFile, kCaFileKey));
    while (!url.empty() && url.back() == '/') {
        url.pop_back();
    }
    const std::string keyFile = ReadIniValue(kIniFile, kPackageKeyKey);
    const auto key = keyFile.empty() ? std::nullopt : ReadWholeFile(keyFile, kMaxKeyBytes);
    if (!keyFile.empty() && !key) {
        LogWarning("cannot read the package key %s", keyFile.c_str());
    }
    std::lock_guard lock(m_mutex);
    m_baseUrl = url.empty() ? kDefaultUrl : url;
    m_packageKey = key.value_or("");
    m_stateFile = fs::current_path(ec) / kStateFile;
    m_state = EngineState::Load(m_stateFile);
    m_session.clear();
    m_abort = false;
    if (!m_abortEvent) {
        m_abortEvent = UniqueHandle(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    }
    ResetEvent(m_abortEvent.Get());
    m_frame.store(frame);
    return 0;
}

int Engine::Shutdown() {
    m_loginCancel = true;
    m_abort = true;
    SetEvent(m_abortEvent.Get());
    StopTransfer();
    LogOut();
    std::jthread game;
    {
        std::lock_guard lock(m_mutex);
        game = std::move(m_gameThread);
    }
    StopAndJoin(game, "game watcher");
    {
        std::lock_guard lock(m_mutex);
        m_gamePid = 0;
        SaveStateLocked();
    }
    SyncState();
    m_frame.store(nullptr);
    return 0;
}

int Engine::Login(const char* user, const char* password) {
    m_loginCancel = false;
    LogOut();
    std::string base;
    {
        std::lock_guard lock(m_mutex);
        base = m_baseUrl;
    }
    HttpRequest request{base + "/api/login"};
    request.jsonBody = json{
        {"user", user ? user : ""},
        {"password", password ? password : ""},
        {"player_version",
         kPlayerVersion}}.dump();
    HttpResponse response = HttpPerform(request, &m_loginCancel);
    if (m_loginCancel) {
        return HV_LOGIN_CANCELLED;
    }
    if (response.status == 0 || response.status >= 500) {
        return HV_LOGIN_UNREACHABLE;
    }
    if (response.status != 200) {
        return ErrorCode(response, HV_LOGIN_ACCESS_DENIED);
    }
    json answer = ParseObject(response.body);
    std::string session = answer.value("session", "");
    if (!IsSessionToken(session)) {
        return HV_LOGIN_COMMUNICATION_LOST;
    }

    // Read before the catalogue itself: a change in between is then told again.
    long long catalogueVersion = IntegerField(answer, "catalogue_version", 0);
    int code = FetchCatalogue(base, session, &m_loginCancel);
    if (code != HV_LOGIN_OK) {
        HttpRequest bye{base + "/api/logout", json{{"session", session}}.dump()};
        bye.timeoutSeconds = 5;
        HttpPerform(bye, nullptr);
        return code;
    }

    std::vector<std::pair<std::string, bool>> installed;
    {
        std::lock_guard lock(m_mutex);
        m_session = session;
        for (const auto& [package, p] : m_state.installed) {
            installed.emplace_back(package, p.demo);
        }
    }
    for (const auto& [package, demo] : installed) {
        Send(UWM_PACKAGE_ON_DISK, demo ? 1 : 0, reinterpret_cast<LPARAM>(package.c_str()));
    }
    StartWatcher(session, catalogueVersion);
    return HV_LOGIN_OK;
}

int Engine::CancelLogin() {
    m_loginCancel = true;
    return 0;
}

int Engine::LogOut() {
    StopWatcher();
    std::string session, base;
    {
        std::lock_guard lock(m_mutex);
        session = std::exchange(m_session, {});
        base = m_baseUrl;
    }
    if (!session.empty()) {
        HttpRequest request{base + "/api/logout", json{{"session", session}}.dump()};
        request.timeoutSeconds = 5;
        HttpPerform(request, nullptr);
    }
    return 0;
}

// A fresh single-use link each time: the address may be kept or logged by
// the browser, the session must not be.
int Engine::AccountUrl(char* buffer) {
    std::string base, session;
    {
        std::lock_guard lock(m_mutex);
        base = m_baseUrl;
        session = m_session;
    }
    std::string url;
    if (!session.empty()) {
        HttpRequest request = SessionRequest(base + "/api/account-page", session);
        request.jsonBody = "{}";
        request.timeoutSeconds = kAccountLinkTimeoutSeconds;
        HttpResponse response = HttpPerform(request, nullptr);
        if (response.status == 200) {
            url = ParseObject(response.body).value("url", "");
        }
    }
    const bool usable = (url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0) &&
                        url.size() < HV_BUFFER_SIZE;
    CopyText(buffer, usable ? url : AccountUnavailablePage());
    return 0;
}

void Engine::StartWatcher(const std::string& session, long long catalogueVersion) {
    std::jthread thread =
        TryStartThread([this, session, catalogueVersion](const std::stop_token& stop) {
            Watch(stop, session, catalogueVersion);
        });
    std::jthread previous;
    {
        std::lock_guard lock(m_mutex);
        previous = std::exchange(m_watcherThread, std::move(thread));
    }
    // Only a login racing another one finds a watcher here.
    StopAndJoin(previous, "session watcher");
}

void Engine::StopWatcher() {
    std::jthread thread;
    {
        std::lock_guard lock(m_mutex);
        thread = std::move(m_watcherThread);
    }
    // It only posts, so a plain join never waits on the thread that joins.
    StopAndJoin(thread, "session watcher");
}

void Engine::EndSession(const std::string& session) {
    std::lock_guard lock(m_mutex);
    if (m_session == session) {
        m_session.clear();
    }
}

void Engine::Watch(const std::stop_token& stop, const std::string& session,
                   long long catalogueVersion) {
    // The HTTP calls poll a flag; the stop request sets it.
    std::atomic<bool> stopped{false};
    std::stop_callback onStop(stop, [&stopped] { stopped = true; });
    std::string base;
    {
        std::lock_guard lock(m_mutex);
        base = m_baseUrl;
    }
    int failures = 0;
    std::chrono::milliseconds pause{0};  // before the next poll
    while (!stopped) {
        if (pause.count() > 0 && SleepUnlessStopped(stop, pause)) {
            return;
        }
        const auto asked = std::chrono::steady_clock::now();
        HttpRequest request = SessionRequest(
            base + "/api/events?wait=20&catalogue=" + std::to_string(catalogueVersion), session);
        request.timeoutSeconds = 40;
        HttpResponse response = HttpPerform(request, &stopped);
        if (stopped) {
            return;
        }
        if (response.status == 0 || response.status >= 500 ||
            (response.status != 200 && response.status != 401)) {
            if (++failures >= kWatcherFailures) {
                EndSession(session);
                Post(UWM_CONNECTION_LOST, 0, 0);
                return;
            }
            if (SleepUnlessStopped(stop, std::chrono::milliseconds(500 * failures))) {
                return;
            }
            continue;
        }
        failures = 0;
        pause = std::chrono::steady_clock::now() - asked >= kQuickAnswer
                    ? std::chrono::milliseconds(0)
                    : std::clamp(pause * 2, kFirstPollPause, kLongestPollPause);
        json answer = ParseObject(response.body);
        std::string event = answer.value("event", "");
        if (response.status == 401) {
            event = "closed";
        }
        if (event == "catalogue") {
            // After a failed fetch the next poll brings the news again, or
            // tells why the session has ended.
            long long latest = IntegerField(answer, "catalogue_version", catalogueVersion);
            if (FetchCatalogue(base, session, &stopped) == HV_LOGIN_OK) {
                catalogueVersion = latest;
                if (!stopped) {
                    Post(UWM_CATALOGUE_READY, 0, 0);
                }
            } else if (SleepUnlessStopped(stop, std::chrono::milliseconds(1000))) {
                return;
            }
            continue;
        }
        if (event == "closed") {
            EndSession(session);
            Post(UWM_SESSION_CLOSED, 0, 0);
            return;
        }
        LPARAM reason = -1;
        if (event == "suspended") {
            reason = HV_LOGOUT_SUSPENDED;
        } else if (event == "password_changed") {
            reason = HV_LOGOUT_PASSWORD_CHANGED;
        } else if (event == "version_changed") {
            reason = HV_LOGOUT_VERSION_CHANGED;
        } else if (event == "logged_out") {
            reason = 0;
        }
        if (reason >= 0) {
            EndSession(session);
            Post(UWM_FORCED_LOGOUT, 0, reason);
            return;
        }
    }
}

int Engine::FetchPackage(const std::string& package, PackageInfo& info) {
    std::string base, session;
    {
        std::lock_guard lock(m_mutex);
        base = m_baseUrl;
        session = m_session;
    }
    HttpRequest request =
        SessionRequest(base + "/api/packages/" + PercentEncodeSegment(package), session);
    HttpResponse response = HttpPerform(request, &m_abort);
    if (m_abort) {
        return HV_DL_ABORTED;
    }
    if (response.status == 404) {
        return HV_DL_NOT_AVAILABLE;
    }
    if (response.status != 200) {
        return HV_DL_CONNECTION_LOST;
    }
    json doc = ParseObject(response.body);
    info.package = package;
    try {
        info.price = doc.value("price", "");
        info.archiveUrl = doc.at("archive_url").get<std::string>();
        info.sha256 = doc.at("sha256").get<std::string>();
        info.program = doc.at("program").get<std::string>();
        info.demo = doc.value("demo", false);
        info.owned = doc.value("owned", false);
        info.size = doc.at("size").get<std::uint64_t>();
        info.playable = doc.value("playable_bytes", info.size);
    } catch (const json::exception&) {
        return HV_DL_INTERNAL_4865;
    }
    for (char& c : info.sha256) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (info.size == 0 || info.size > kMaxPackageBytes || !IsSafeEntryPath(info.program)) {
        return HV_DL_INTERNAL_4865;
    }
    info.playable = std::min(info.playable, info.size);
    return HV_DL_OK;
}

int Engine::Purchase(const PackageInfo& info, const std::string& title) {
    UniqueHandle yes(CreateEventA(nullptr, TRUE, FALSE, HV_PURCHASE_EVENT));
    UniqueHandle no(CreateEventA(nullptr, TRUE, FALSE, HV_NO_PURCHASE_EVENT));
    ResetEvent(yes.Get());
    ResetEvent(no.Get());
    int code = HV_DL_DECLINED;
    if (Send(UWM_CONFIRM_PURCHASE, reinterpret_cast<WPARAM>(info.price.c_str()),
             reinterpret_cast<LPARAM>(title.c_str())) == 1) {
        HANDLE handles[3] = {yes.Get(), no.Get(), m_abortEvent.Get()};
        DWORD which = WaitForMultipleObjects(3, handles, FALSE, INFINITE);
        if (which == WAIT_OBJECT_0) {
            std::string base, session;
            {
                std::lock_guard lock(m_mutex);
                base = m_baseUrl;
                session = m_session;
            }
            HttpRequest request{base + "/api/purchase",
                                json{{"session", session}, {"package", info.package}}.dump()};
            HttpResponse response = HttpPerform(request, &m_abort);
            if (m_abort) {
                code = HV_DL_ABORTED;
            } else if (response.status == 200) {
                code = HV_DL_OK;
            } else if (response.status == 402) {
                code = HV_DL_BILLING_DENIED;
            } else if (response.status == 0 || response.status == 401) {
                code = HV_DL_CONNECTION_LOST;
            } else {
                code = ErrorCode(response, HV_DL_BILLING_DENIED);
            }
        } else if (which != WAIT_OBJECT_0 + 1) {
            code = HV_DL_ABORTED;
        }
    }
    return code;
}

// The package's signed manifest, fetched from beside its archive.
int Engine::FetchManifest(const PackageInfo& info, const std::string& title,
                          PackageManifest& manifest, char* buffer) {
    std::string key;
    {
        std::lock_guard lock(m_mutex);
        key = m_packageKey;
    }
    const auto refuse = [&](const std::string& why) {
        LogWarning("refused the download of %s: %s", info.package.c_str(), why.c_str());
        CopyText(buffer, "The download of " + title +
                             " was refused: it could not be verified as the package the service "
                             "published.");
        return HV_DL_ENGINE_TEXT;
    };
    if (key.empty()) {
        return refuse("no package key is set up");
    }
    HttpRequest request{info.archiveUrl.substr(0, info.archiveUrl.find('?')) + ".manifest"};
    // Room for a line per block of the size the service uses.
    request.maxBody = kMaxManifestBytes + 80 * (info.size / BlockSizeFor(info.size) + 1);
    HttpResponse response = HttpPerform(request, &m_abort);
    if (m_abort) {
        return HV_DL_ABORTED;
    }
    if (response.status == 0) {
        return HV_DL_CONNECTION_LOST;
    }
    if (response.status != 200) {
        return refuse("no manifest (" + std::to_string(response.status) + ")");
    }
    std::string why;
    auto opened = OpenManifest(response.body, key, &why);
    if (!opened) {
        return refuse(why);
    }
    if (opened->size != info.size || opened->sha256 != info.sha256) {
        return refuse("the manifest describes another archive");
    }
    manifest = std::move(*opened);
    return HV_DL_OK;
}

int Engine::Download(const char* packageText, const char* titleText, char* buffer) {
    if (!packageText || !*packageText) {
        return HV_DL_NOT_AVAILABLE;
    }
    if (Session().empty()) {
        return HV_DL_CONNECTION_LOST;
    }
    {
        std::lock_guard lock(m_mutex);
        if (m_gamePid > 0 || m_downloadBusy.exchange(true)) {
            return HV_DL_ONE_AT_A_TIME;
        }
    }
    // The previous transfer thread, if any, has ended or is returning.
    std::unique_ptr<SendingThread> finished;
    {
        std::lock_guard lock(m_mutex);
        finished = std::move(m_transferThread);
        m_job.reset();
    }
    if (finished) {
        finished->Join();
    }
    m_abort = false;
    ResetEvent(m_abortEvent.Get());

    const std::string package = packageText;
    const std::string title = titleText ? titleText : "";
    auto result = [this](int code) {
        if (code != HV_DL_OK) {
            m_downloadBusy = false;
        }
        return code;
    };

    PackageInfo info;
    if (int code = FetchPackage(package, info); code != HV_DL_OK) {
        return result(code);
    }
    {
        std::lock_guard lock(m_mutex);
        auto it = m_state.installed.find(package);
        std::error_code ec;
        if (it != m_state.installed.end() && it->second.sha256 == info.sha256 &&
            fs::exists(fs::path(it->second.folder) / it->second.program, ec)) {
            return result(HV_DL_ALREADY_COMPLETE);
        }
    }
    // A cancel (the client's logout) may come between two steps: no question
    // and no transfer may follow it.
    if (m_abort) {
        return result(HV_DL_ABORTED);
    }
    if (!info.owned && !info.demo) {
        if (int code = Purchase(info, title); code != HV_DL_OK) {
            return result(code);
        }
        // Only an owner is given the package's address.
        if (int code = FetchPackage(package, info); code != HV_DL_OK) {
            return result(code);
        }
    }
    if (info.archiveUrl.empty()) {
        return result(HV_DL_NOT_AVAILABLE);
    }
    PackageManifest manifest;
    if (int code = FetchManifest(info, title, manifest, buffer); code != HV_DL_OK) {
        return result(code);
    }

    {
        std::lock_guard lock(m_mutex);
        m_gamePath.clear();
    }
    if (m_abort) {
        return result(HV_DL_ABORTED);
    }
    if (Send(UWM_ASK_STORAGE, info.demo ? 1 : 0, reinterpret_cast<LPARAM>(title.c_str())) != 1) {
        return result(HV_DL_DECLINED);
    }
    std::string path;
    {
        std::lock_guard lock(m_mutex);
        path = m_gamePath;
    }
    // The answer was yes, but hv_SetGamePath refused the folder, or never came.
    if (path.empty()) {
        CopyText(buffer, "The folder chosen for " + title +
                             " cannot be used. Please choose another location.");
        return result(HV_DL_ENGINE_TEXT);
    }
    if (m_abort) {
        return result(HV_DL_ABORTED);
    }

    auto job = std::make_shared<TransferJob>();
    job->package = package;
    job->title = title;
    job->archiveUrl = info.archiveUrl;
    job->sha256 = info.sha256;
    job->program = info.program;
    job->demo = info.demo;
    job->size = info.size;
    job->playable = info.playable;
    job->manifest = std::move(manifest);
    std::error_code ec;
    job->installDir = fs::absolute(path, ec);
    if (ec) {
        return result(HV_DL_DECLINED);
    }
    job->stagingDir = fs::path(job->installDir.string() + ".hvstaging");
    job->partFile = fs::path(job->installDir.string() + ".hvpart");

    {
        std::lock_guard lock(m_mutex);
        // Never clear out a folder that holds something other than this package.
        auto installed = m_state.installed.find(package);
        bool ours = installed != m_state.installed.end() &&
                    fs::path(installed->second.folder) == job->installDir;
        if (!ours && fs::exists(job->installDir, ec) && !fs::is_empty(job->installDir, ec)) {
            CopyText(buffer, "The folder " + job->installDir.string() +
                                 " already exists and is not empty. Please choose another "
                                 "location.");
            return result(HV_DL_ENGINE_TEXT);
        }
        auto partial = m_state.partial.find(package);
        if (partial != m_state.partial.end() &&
            (partial->second.sha256 != job->sha256 || partial->second.partFile != job->partFile)) {
            fs::remove(partial->second.partFile, ec);
            m_state.partial.erase(partial);
        }
    }
    std::uint64_t have = 0;
    if (auto size = fs::file_size(job->partFile, ec); !ec && size <= job->size) {
        have = size;
    }
    auto room = FreeBytesAt(job->installDir);
    std::uint64_t need = (job->size - have) + job->size;
    // The code alone tells the user; UWM_DISK_FULL is for a disk that fills
    // once the transfer runs.
    if (!room || *room < need) {
        return result(HV_DL_DISK_FULL);
    }

    std::lock_guard lock(m_mutex);
    // Cancel sets the flag before it looks for a job under this lock.
    if (m_abort) {
        return result(HV_DL_ABORTED);
    }
    m_state.partial[package] = {title, job->installDir.string(), job->partFile.string(),
                                job->sha256, job->size};
    SaveStateLocked();
    m_job = job;
    m_transferThread = SendingThread::Start("transfer", [this, job] { RunTransfer(job); });
    if (!m_transferThread) {
        m_job.reset();
        return result(HV_DL_INTERNAL_5121);
    }
    return HV_DL_OK;
}

void Engine::StopTransfer() {
    std::unique_ptr<SendingThread> thread;
    {
        std::lock_guard lock(m_mutex);
        if (m_job) {
            {
                std::lock_guard jobLock(m_job->mutex);
                m_job->cancel = true;
            }
            m_job->changed.notify_all();
            m_job->part.Abort();
        }
        thread = std::move(m_transferThread);
    }
    if (thread) {
        thread->Join();
    }
    std::lock_guard lock(m_mutex);
    m_job.reset();
}

int Engine::Cancel(const char*) {
    m_abort = true;
    SetEvent(m_abortEvent.Get());
    StopTransfer();
    EndGame();
    return 0;
}

int Engine::DeletePackage(const char* packageText) {
    if (!packageText) {
        return 1;
    }
    const std::string package = packageText;
    bool running;
    {
        std::lock_guard lock(m_mutex);
        running = m_job && m_job->package == package;
    }
    if (running) {
        StopTransfer();
    }
    std::vector<fs::path> doomed;
    {
        std::lock_guard lock(m_mutex);
        // A state file from before the folders were checked may name others.
        if (auto it = m_state.installed.find(package); it != m_state.installed.end()) {
            if (IsGameFolder(it->second.folder)) {
                doomed.emplace_back(it->second.folder);
            }
            m_state.installed.erase(it);
        }
        if (auto it = m_state.partial.find(package); it != m_state.partial.end()) {
            if (IsGameFolder(it->second.folder)) {
                doomed.emplace_back(it->second.partFile);
                doomed.emplace_back(it->second.folder + ".hvstaging");
            }
            m_state.partial.erase(it);
        }
        SaveStateLocked();
    }
    SyncState();
    std::error_code ec;
    for (const auto& path : doomed) {
        fs::remove_all(path, ec);
    }
    Send(UWM_PACKAGE_GONE, 1, reinterpret_cast<LPARAM>(package.c_str()));
    return 0;
}

int Engine::Play(const char* title) {
    if (!title) {
        return 1;
    }
    fs::path folder;
    std::string program;
    {
        std::lock_guard lock(m_mutex);
        if (const std::string* package = m_state.PackageForTitle(title)) {
            const auto& p = m_state.installed.at(*package);
            folder = p.folder;
            program = p.program;
        } else if (m_job && m_job->playableReady &&
                   ::strcasecmp(m_job->title.c_str(), title) == 0) {
            folder = m_job->stagingDir;
            program = m_job->program;
        }
    }
    if (program.empty()) {
        return 1;
    }
    std::string why;
    return LaunchGame(folder, program, why) ? 0 : 1;
}

// A refused path leaves the one given before.
int Engine::SetGamePath(const char* path) {
    if (!path || !IsGameFolder(path)) {
        LogWarning("refused the game folder %s", path ? path : "(null)");
        return 1;
    }
    std::lock_guard lock(m_mutex);
    m_gamePath = path;
    return 0;
}

bool Engine::LaunchGame(const fs::path& folder, const std::string& program, std::string& why) {
    auto fail = [&why, &program](std::string reason) {
        LogWarning("cannot start %s: %s", program.c_str(), reason.c_str());
        why = std::move(reason);
        return false;
    };
    if (!IsSafeEntryPath(program)) {
        return fail("the package names no program in its folder");
    }
    fs::path executable = folder / program;
    if (::access(executable.c_str(), X_OK) != 0) {
        return fail("its program " + program + " cannot be run (" +
                    std::generic_category().message(errno) + ")");
    }
    std::jthread previous;
    {
        std::lock_guard lock(m_mutex);
        if (m_gamePid > 0) {
            return fail("another game is still running");
        }
        previous = std::move(m_gameThread);
    }
    // With no game left it has ended or is about to.
    StopAndJoin(previous, "game watcher");

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    std::string path = executable.string();
    char* argv[] = {path.data(), nullptr};
    pid_t pid = 0;
    int rc = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        return fail(std::generic_category().message(rc));
    }
    std::jthread watcher =
        TryStartThread([this, pid](const std::stop_token& stop) { WatchGame(stop, pid); });
    {
        std::lock_guard lock(m_mutex);
        m_gamePid = pid;
        previous = std::exchange(m_gameThread, std::move(watcher));
    }
    // Only a launch racing another one finds a watcher here.
    StopAndJoin(previous, "game watcher");
    return true;
}

void Engine::WatchGame(const std::stop_token& stop, pid_t pid) {
    for (;;) {
        int status = 0;
        pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid || (r < 0 && errno != EINTR)) {
            break;
        }
        // A child's end cannot be waited for together with a stop: polled.
        if (SleepUnlessStopped(stop, std::chrono::milliseconds(50))) {
            return;
        }
    }
    {
        std::lock_guard lock(m_mutex);
        if (m_gamePid == pid) {
            m_gamePid = 0;
        }
    }
    Post(UWM_GAME_CLOSED, 0, 0);
}

void Engine::EndGame() {
    std::lock_guard lock(m_mutex);
    if (m_gamePid > 0) {
        ::kill(m_gamePid, SIGTERM);
    }
}

}  // namespace hv
