#include "app/HttpDownloadDlg.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDialog>
#include <QDialogButtonBox>
#include <QFont>
#include <QFormLayout>
#include <QLineEdit>
#include <QWidget>
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <deque>
#include <mutex>
#include <optional>
#include <string_view>
#include <utility>

#include "messages/Messages.h"
#include "net/CurlEasy.h"
#include "res/ResourceTable.h"
#include "skin/SkinSet.h"
#include "ui/DialogTemplate.h"
#include "ui/MessageBox.h"

namespace {

constexpr char kTitle[] = "File Download";
constexpr char kApplicationTitle[] = "Halvory";
constexpr char kRefusedText[] =
    "The downloaded file is not the one the service published. It has been deleted.";
constexpr char kFileLine[] = "Required upgrades in progress...";
constexpr int kCaption = 0;  // the text slot of the dialog's caption
constexpr long kBlockBytes = 1024;
// A server that cannot be reached, or sends nothing for a minute, ends in an
// error instead of a dialog that waits for ever.
constexpr long kConnectTimeoutSeconds = 30;
constexpr long kStallSeconds = 60;
constexpr long kMaxRedirects = 10;

// The 8-point dialog font, and how far it may shrink.
constexpr int kFontPx = 11;
constexpr int kSmallestFontPx = 8;
// The fixed labels, with their boxes in dialog units (left, top, width, height).
constexpr std::pair<const char*, RECT> kLabels[] = {
    {"Estimated time left:", RECT{7, 91, 60, 8}},
    {"Transfer rate:", RECT{7, 104, 43, 8}},
};

void RegisterTemplate() {
    static const bool registered = [] {
        using Kind = DialogItemKind;
        constexpr DWORD kLabel = WS_VISIBLE | SS_LEFTNOWORDWRAP;
        RegisterDialogTemplate(DialogTemplate{
            CHttpDownloadDlg::kTemplateId,
            228,
            143,
            WS_POPUP | WS_CAPTION | WS_SYSMENU,
            {{CHttpDownloadDlg::IDC_ANIMATE, Kind::Custom, "", RECT{7, 24, 192, 32}, WS_VISIBLE},
             {CHttpDownloadDlg::IDC_FILE_STATUS, Kind::Static, "", RECT{7, 12, 214, 8}, kLabel},
             {CHttpDownloadDlg::IDC_STATUS, Kind::Static, "", RECT{7, 60, 214, 8}, kLabel},
             {CHttpDownloadDlg::IDC_PROGRESS, Kind::Custom, "", RECT{7, 74, 214, 10}, WS_VISIBLE},
             {-1, Kind::Static, kLabels[0].first, kLabels[0].second, kLabel},
             {CHttpDownloadDlg::IDC_TIME_LEFT, Kind::Static, "", RECT{79, 91, 142, 8}, kLabel},
             {-1, Kind::Static, kLabels[1].first, kLabels[1].second, kLabel},
             {CHttpDownloadDlg::IDC_TRANSFER_RATE, Kind::Static, "", RECT{80, 104, 141, 8}, kLabel},
             // Left hidden: the user cancels with Escape or the close box.
             {IDCANCEL, Kind::Button, "Cancel", RECT{171, 122, 50, 14}, 0}}});
        return true;
    }();
    (void)registered;
}

// A user name and password, asked for when the server wants them.
bool PromptForCredentials(QWidget* parent, hv::Credentials* credentials) {
    QDialog prompt(parent);
    prompt.setObjectName(QStringLiteral("credentials"));
    prompt.setWindowTitle(QString::fromUtf8(kApplicationTitle));
    auto* user = new QLineEdit(QString::fromStdString(credentials->user), &prompt);
    auto* password = new QLineEdit(&prompt);
    password->setEchoMode(QLineEdit::Password);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &prompt);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &prompt, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &prompt, &QDialog::reject);
    auto* layout = new QFormLayout(&prompt);
    layout->addRow(QStringLiteral("User name:"), user);
    layout->addRow(QStringLiteral("Password:"), password);
    layout->addRow(buttons);
    if (prompt.exec() != QDialog::Accepted) {
        return false;
    }
    credentials->user = user->text().toStdString();
    credentials->password = password->text().toStdString();
    return true;
}

}  // namespace

namespace hv {

// What the dialog and its worker share. The worker is the only writer of the
// file, the texts and the error; the dialog reads a text when told it changed.
struct DownloadTransfer {
    HWND hwnd = nullptr;
    DownloadAddress address;
    std::string path;
    std::string fileName;
    Credentials credentials;
    int fd = -1;
    std::atomic<bool> abort{false};
    std::mutex lock;
    // One entry for each HVM_TRANSFER_TEXT posted, in order: a status that
    // is followed at once by the next is still shown.
    std::deque<std::pair<int, std::string>> texts;
    std::string error;

    ~DownloadTransfer() { CloseFile(); }

    void CloseFile() {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
    void DeleteFile() {
        CloseFile();
        ::unlink(path.c_str());
    }
    void SetText(int id, std::string text) {
        {
            std::lock_guard guard(lock);
            texts.emplace_back(id, std::move(text));
        }
        Post<HVM_TRANSFER_TEXT>(hwnd, id);
    }
    std::pair<int, std::string> NextText() {
        std::lock_guard guard(lock);
        if (texts.empty()) {
            return {-1, {}};
        }
        std::pair<int, std::string> next = std::move(texts.front());
        texts.pop_front();
        return next;
    }
    std::string Error() {
        std::lock_guard guard(lock);
        return error;
    }
    void SetStatus(int stringId, const std::string& argument = {}) {
        SetText(CHttpDownloadDlg::IDC_STATUS, FormatDownloadString(stringId, argument));
    }
    // The worker's last action.
    void Done(bool failed) { Post<HVM_TRANSFER_DONE>(hwnd, failed ? 1 : 0); }
    void Fail(std::string text, bool keepFile = false) {
        {
            std::lock_guard guard(lock);
            error = std::move(text);
        }
        if (!keepFile) {
            DeleteFile();
        }
        Done(true);
    }
    // Ends an aborted transfer: nothing of it stays.
    void Aborted() {
        DeleteFile();
        Done(false);
    }
};

}  // namespace hv

namespace {

using hv::DownloadTransfer;

struct SlistFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// The transfer on one libcurl handle; libcurl's callbacks report the phases
// that the status line shows.
class TransferRun {
  public:
    explicit TransferRun(std::shared_ptr<DownloadTransfer> transfer)
        : m_transfer(std::move(transfer)) {}

    void Run();

  private:
    enum class Body { Unknown, Keep, Discard, Refuse };

    void Configure(CURL* curl);
    // The answer to keep is in: the status lines and the statistics' start.
    void BeginRetrieving();
    long SystemCode(CURLcode result) const;

    static size_t OnHeader(char* data, size_t size, size_t count, void* self);
    static size_t OnBody(char* data, size_t size, size_t count, void* self);
    static int OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
    static curl_socket_t OnOpenSocket(void* self, curlsocktype purpose, curl_sockaddr* address);
    static int OnConnected(void* self, char* primaryIp, char* localIp, int primaryPort,
                           int localPort);

    std::shared_ptr<DownloadTransfer> m_transfer;
    CURL* m_curl = nullptr;
    std::unique_ptr<curl_slist, SlistFree> m_headers;
    long m_status = 0;
    std::string m_location;
    Body m_body = Body::Unknown;
    bool m_resolvedShown = false;
    bool m_connectedShown = false;
    int m_writeError = 0;
    int64_t m_done = 0;
    hv::TransferStats m_stats;
};

long TransferRun::SystemCode(CURLcode result) const {
    long osError = 0;
    curl_easy_getinfo(m_curl, CURLINFO_OS_ERRNO, &osError);
    return osError != 0 ? osError : static_cast<long>(result);
}

void TransferRun::Configure(CURL* curl) {
    const DownloadTransfer& t = *m_transfer;
    curl_easy_setopt(curl, CURLOPT_URL, hv::JoinDownloadAddress(t.address).c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, kApplicationTitle);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kBlockBytes);
    // The file itself, never a cached copy.
    for (const char* header : {"Cache-Control: no-cache", "Pragma: no-cache"}) {
        m_headers.reset(curl_slist_append(m_headers.release(), header));
    }
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, m_headers.get());
    if (!t.credentials.user.empty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, t.credentials.user.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, t.credentials.password.c_str());
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, CURLAUTH_ANY);
    }
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &TransferRun::OnHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &TransferRun::OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &TransferRun::OnProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(curl, CURLOPT_OPENSOCKETFUNCTION, &TransferRun::OnOpenSocket);
    curl_easy_setopt(curl, CURLOPT_OPENSOCKETDATA, this);
    curl_easy_setopt(curl, CURLOPT_PREREQFUNCTION, &TransferRun::OnConnected);
    curl_easy_setopt(curl, CURLOPT_PREREQDATA, this);
}

void TransferRun::BeginRetrieving() {
    DownloadTransfer& t = *m_transfer;
    t.SetStatus(hv::IDS_DL_FILE_INFO);
    curl_off_t length = -1;
    std::optional<int64_t> known;
    if (curl_easy_getinfo(m_curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK &&
        length >= 0) {
        known = length;
    }
    t.SetStatus(hv::IDS_DL_RETRIEVING);
    m_stats = hv::StartTransferStats(GetTickCount(), known);
    m_done = 0;
}

size_t TransferRun::OnHeader(char* data, size_t size, size_t count, void* self) {
    auto& run = *static_cast<TransferRun*>(self);
    const size_t bytes = size * count;
    const std::string line(data, bytes);
    constexpr std::string_view kLocation = "location:";
    if (line.size() > kLocation.size() &&
        std::equal(kLocation.begin(), kLocation.end(), line.begin(), [](char a, char b) {
            return a == std::tolower(static_cast<unsigned char>(b));
        })) {
        const size_t start = line.find_first_not_of(" \t", kLocation.size());
        const size_t end = line.find_last_not_of("\r\n \t");
        run.m_location =
            start == std::string::npos || end < start ? "" : line.substr(start, end - start + 1);
        return bytes;
    }
    if (line != "\r\n" && line != "\n") {
        return bytes;
    }
    // The end of one answer's headers.
    long status = 0;
    curl_easy_getinfo(run.m_curl, CURLINFO_RESPONSE_CODE, &status);
    const std::string location = std::exchange(run.m_location, {});
    if (status < 200) {
        return bytes;
    }
    if (status >= 300 && status < 400 && !location.empty()) {
        run.m_transfer->SetStatus(hv::IDS_DL_REDIRECTING, location);
        return bytes;
    }
    run.m_status = status;
    if (status == 200) {
        run.m_body = Body::Keep;
        run.BeginRetrieving();
    } else if (status == 401 || status == 407) {
        // Read to its end and dropped, so the connection can ask again.
        run.m_body = Body::Discard;
    } else {
        run.m_body = Body::Refuse;
        return 0;
    }
    return bytes;
}

size_t TransferRun::OnBody(char* data, size_t size, size_t count, void* self) {
    auto& run = *static_cast<TransferRun*>(self);
    DownloadTransfer& t = *run.m_transfer;
    const size_t bytes = size * count;
    if (t.abort.load()) {
        return 0;
    }
    if (run.m_body == Body::Discard) {
        return bytes;
    }
    if (run.m_body != Body::Keep) {
        return 0;
    }
    for (size_t written = 0; written < bytes;) {
        const ssize_t n = ::write(t.fd, data + written, bytes - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            run.m_writeError = n < 0 ? errno : ENOSPC;
            return 0;
        }
        written += static_cast<size_t>(n);
    }
    run.m_done += static_cast<int64_t>(bytes);
    const hv::StatsUpdate update =
        hv::UpdateTransferStats(&run.m_stats, GetTickCount(), run.m_done, t.fileName);
    if (update.caption) {
        t.SetText(kCaption, *update.caption);
    }
    if (update.percent) {
        hv::Post<HVM_TRANSFER_PROGRESS>(t.hwnd, *update.percent);
    }
    if (update.rate) {
        t.SetText(CHttpDownloadDlg::IDC_TRANSFER_RATE, *update.rate);
    }
    if (update.timeLeft) {
        t.SetText(CHttpDownloadDlg::IDC_TIME_LEFT, *update.timeLeft);
    }
    return bytes;
}

int TransferRun::OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<TransferRun*>(self)->m_transfer->abort.load() ? 1 : 0;
}

curl_socket_t TransferRun::OnOpenSocket(void* self, curlsocktype, curl_sockaddr* address) {
    auto& run = *static_cast<TransferRun*>(self);
    char ip[INET6_ADDRSTRLEN] = {};
    const void* raw = nullptr;
    if (address->family == AF_INET) {
        raw = &reinterpret_cast<const sockaddr_in*>(&address->addr)->sin_addr;
    } else if (address->family == AF_INET6) {
        raw = &reinterpret_cast<const sockaddr_in6*>(&address->addr)->sin6_addr;
    }
    if (raw != nullptr && inet_ntop(address->family, raw, ip, sizeof ip) != nullptr) {
        if (!run.m_resolvedShown) {
            run.m_resolvedShown = true;
            run.m_transfer->SetStatus(hv::IDS_DL_RESOLVED, ip);
        }
        run.m_transfer->SetStatus(hv::IDS_DL_CONNECTING, ip);
    }
    return ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

int TransferRun::OnConnected(void* self, char* primaryIp, char*, int, int) {
    auto& run = *static_cast<TransferRun*>(self);
    run.m_transfer->SetStatus(hv::IDS_DL_CONNECTED, primaryIp);
    if (!run.m_connectedShown) {
        run.m_connectedShown = true;
        hv::Post<HVM_TRANSFER_CONNECTED>(run.m_transfer->hwnd);
    }
    return CURL_PREREQFUNC_OK;
}

void TransferRun::Run() {
    DownloadTransfer& t = *m_transfer;
    CCurlEasy curl;
    if (!curl) {
        t.Fail(hv::DownloadErrorText(hv::IDS_DL_SESSION_ERROR, errno));
        return;
    }
    if (t.abort.load()) {
        t.Aborted();
        return;
    }
    m_curl = curl.Get();
    Configure(m_curl);
    for (;;) {
        t.SetStatus(hv::IDS_DL_RESOLVING, t.address.server);
        m_status = 0;
        m_body = Body::Unknown;
        const CURLcode result = curl_easy_perform(m_curl);
        if (t.abort.load()) {
            t.Aborted();
            return;
        }
        if (m_status == 0) {
            // Asked, but no answer with a status came back.
            if (result == CURLE_GOT_NOTHING || result == CURLE_WEIRD_SERVER_REPLY ||
                result == CURLE_UNSUPPORTED_PROTOCOL) {
                t.Fail(hv::FormatDownloadString(hv::IDS_DL_NO_RESPONSE), true);
            } else {
                t.Fail(hv::DownloadErrorText(hv::IDS_DL_CONNECT_ERROR, SystemCode(result)));
            }
            return;
        }
        if (m_body == Body::Refuse) {
            t.Fail(hv::DownloadErrorText(hv::IDS_DL_BAD_STATUS, m_status));
            return;
        }
        if (result != CURLE_OK) {
            t.Fail(hv::DownloadErrorText(hv::IDS_DL_READ_ERROR,
                                         m_writeError != 0 ? m_writeError : SystemCode(result)));
            return;
        }
        if (m_body == Body::Keep) {
            break;
        }
        // 401 or 407, its body already dropped: ask, and ask the server again
        // with what the user gave; without, the file stays as it is.
        hv::Credentials given = t.credentials;
        if (hv::Send<HVM_TRANSFER_CREDENTIALS>(t.hwnd, {}, &given) == 0 || t.abort.load()) {
            BeginRetrieving();
            break;
        }
        t.credentials = std::move(given);
        curl_easy_setopt(m_curl, CURLOPT_USERNAME, t.credentials.user.c_str());
        curl_easy_setopt(m_curl, CURLOPT_PASSWORD, t.credentials.password.c_str());
        curl_easy_setopt(m_curl, CURLOPT_HTTPAUTH, CURLAUTH_ANY);
    }
    if (t.abort.load()) {
        t.Aborted();
        return;
    }
    t.CloseFile();
    t.Done(false);
}

}  // namespace

CHttpDownloadDlg::CHttpDownloadDlg(CWnd* parent) : CDialog(kTemplateId, parent) {
    RegisterTemplate();
}

CHttpDownloadDlg::~CHttpDownloadDlg() {
    // Here, while WM_DESTROY still reaches this class.
    DestroyWindow();
}

BOOL CHttpDownloadDlg::OnInitDialog() {
    SetWindowText(kTitle);
    // The labels' boxes were laid out for a narrower face than ours: one
    // font, as large as lets both labels fit, for the whole dialog.
    QFont font = GetWidget()->font();
    font.setPixelSize(kFontPx);
    for (const auto& [text, units] : kLabels) {
        font = FitFont(font, QString::fromUtf8(text),
                       QSize(DialogUnitsToPixelsX(units.right), DialogUnitsToPixelsY(units.bottom)),
                       false, kSmallestFontPx);
    }
    GetWidget()->setFont(font);
    if (m_animation.SubclassDlgItem(IDC_ANIMATE, this)) {
        m_animation.OpenResource(hv::res::kTransferAnimation.id);
    }
    if (m_progress.SubclassDlgItem(IDC_PROGRESS, this)) {
        m_progress.SetRange(0, 100);
    }
    auto transfer = std::make_shared<hv::DownloadTransfer>();
    transfer->hwnd = GetSafeHwnd();
    m_pTransfer = transfer;
    if (!hv::ParseDownloadAddress(m_strAddress, &m_address) &&
        !hv::ParseDownloadAddress("http://" + m_strAddress, &m_address)) {
        EndEarly(false);
        return TRUE;
    }
    transfer->path = m_strFilePath;
    transfer->fd = ::open(m_strFilePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (transfer->fd < 0) {
        m_strError = hv::DownloadErrorText(hv::IDS_DL_FILE_ERROR, errno);
        EndEarly(true);
        return TRUE;
    }
    m_strFileName = hv::ObjectFileName(m_address.object);
    GetDlgItem(IDC_FILE_STATUS)->SetWindowText(kFileLine);
    transfer->address = m_address;
    transfer->fileName = m_strFileName;
    transfer->credentials = hv::Credentials{m_strUserName, m_strPassword};
    m_thread = hv::Thread::Start([transfer] { TransferRun(transfer).Run(); });
    if (!m_thread) {
        transfer->DeleteFile();
        EndEarly(false);
    }
    return TRUE;
}

void CHttpDownloadDlg::EndEarly(bool failed) {
    // Not from OnInitDialog itself: the modal loop has not started yet.
    if (!failed) {
        m_bAbort = true;
    }
    hv::Post<HVM_TRANSFER_DONE>(GetSafeHwnd(), failed ? 1 : 0);
}

void CHttpDownloadDlg::OnCancel() {
    if (m_bFinished) {
        CDialog::OnCancel();
        return;
    }
    if (m_bAbort) {
        return;
    }
    m_bAbort = true;
    m_pTransfer->abort = true;
    if (CWnd* cancel = GetDlgItem(IDCANCEL)) {
        cancel->EnableWindow(FALSE);
    }
    GetDlgItem(IDC_STATUS)->SetWindowText(hv::FormatDownloadString(hv::IDS_DL_ABORTING));
}

void CHttpDownloadDlg::OnTransferDone(bool failed) {
    bool refused = false;
    if (!failed && !m_bAbort && m_fnAccept) {
        // The check may take a moment, and Cancel still cancels meanwhile.
        refused = !m_fnAccept(m_strFilePath);
        if (refused || m_bAbort) {
            ::unlink(m_strFilePath.c_str());
        }
    }
    m_bFinished = true;
    if (m_bAbort) {
        m_animation.Stop();
        EndDialog(IDCANCEL);
        return;
    }
    if (failed || refused) {
        if (m_strError.empty()) {
            m_strError = refused ? kRefusedText : m_pTransfer->Error();
        }
        m_animation.Stop();
        MessageBoxA(GetSafeHwnd(), m_strError.c_str(), kApplicationTitle, MB_OK | MB_ICONERROR);
        EndDialog(IDCANCEL);
        return;
    }
    if (m_fnUnpack) {
        m_fnUnpack(m_strFilePath, m_strUnpackFolder);
    }
    m_animation.Stop();
    EndDialog(IDOK);
}

void CHttpDownloadDlg::ShowTransferText() {
    const auto [id, text] = m_pTransfer->NextText();
    // After Cancel the status line keeps saying so.
    if (m_bAbort && id == IDC_STATUS) {
        return;
    }
    if (id == kCaption) {
        SetWindowText(text);
    } else if (CWnd* item = GetDlgItem(id)) {
        item->SetWindowText(text);
    }
}

LRESULT CHttpDownloadDlg::AskCredentials(hv::Credentials* credentials) {
    if (m_bAbort || m_bFinished) {
        return 0;
    }
    return PromptForCredentials(GetWidget(), credentials) ? 1 : 0;
}

LRESULT CHttpDownloadDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case HVM_TRANSFER_DONE:
            OnTransferDone(hv::WParam<HVM_TRANSFER_DONE>(wParam) != 0);
            return 0;
        case HVM_TRANSFER_TEXT: ShowTransferText(); return 0;
        case HVM_TRANSFER_PROGRESS:
            m_progress.SetPos(hv::WParam<HVM_TRANSFER_PROGRESS>(wParam));
            return 0;
        case HVM_TRANSFER_CONNECTED: m_animation.Play(0, -1, -1); return 0;
        case HVM_TRANSFER_CREDENTIALS:
            return AskCredentials(hv::LParam<HVM_TRANSFER_CREDENTIALS>(lParam));
        case WM_DESTROY:
            // The worker touches only what it shares; still, it ends before we do.
            m_bAbort = true;
            if (m_pTransfer) {
                m_pTransfer->abort = true;
            }
            m_thread.Wait(INFINITE);
            m_thread = hv::Thread();
            break;
        default: break;
    }
    return CDialog::WindowProc(message, wParam, lParam);
}
