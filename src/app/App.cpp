#include "app/App.h"

#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QIcon>
#include <QPixmap>
#include <QTimer>
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <memory>

#include "app/CommandLine.h"
#include "app/Discovery.h"
#include "app/HttpDownloadDlg.h"
#include "app/Upgrade.h"
#include "frame/MainFrame.h"
#include "halvory/engine.h"
#include "image/CxImageQt.h"
#include "net/CurlEasy.h"
#include "res/ResourceTable.h"
#include "res/Resources.h"
#include "screens/LoginView.h"
#include "skin/SkinSet.h"
#include "ui/Gamepad.h"
#include "ui/WebBrowser2.h"
#include "ui/WindowChannel.h"
#include "winapi/Log.h"
#include "winapi/Thread.h"

namespace {

std::string ExecutablePath() {
    char path[PATH_MAX] = {};
    const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
}

// For the start-up benchmark: one line once the first frame is on screen.
class FirstPaintReporter : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && !m_reported) {
            m_reported = true;
            QTimer::singleShot(0, [] {
                std::puts("first-paint");
                std::fflush(stdout);
            });
        }
        return false;
    }

  private:
    bool m_reported = false;
};

// Runs `work` on a thread of its own while this one goes on handling
// messages (the dialogs keep painting); a slow service freezes nothing.
// `failed` when the thread cannot start.
template <class Result>
Result RunBeside(std::function<Result()> work, Result failed) {
    auto reply = std::make_shared<std::promise<Result>>();
    std::future<Result> answer = reply->get_future();
    hv::Thread worker =
        hv::Thread::Start([reply, work = std::move(work)] { reply->set_value(work()); });
    if (!worker) {
        return failed;
    }
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
            loop.quit();
        }
    });
    poll.start(10);
    loop.exec();
    return answer.get();
}

}  // namespace

CApp::CApp(std::string commandLine) : m_strCommandLine(std::move(commandLine)) {}
CApp::~CApp() = default;

BOOL CApp::InitInstance() {
    m_hInstanceMutex.Reset(CreateMutexA(nullptr, TRUE, kInstanceMutexName));
    if (!m_hInstanceMutex) {
        return FALSE;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        // Another client runs: bring its game to the front and leave.
        hv::SendToPublishedWindow(CMainFrame::kWindowTitle, UWM_ACTIVATE_RUNNING);
        m_hInstanceMutex.Reset();
        return FALSE;
    }
    m_strExePath = ExecutablePath();
    const std::string& exe = m_strExePath;
    m_strAppDir = exe.substr(0, exe.find_last_of('/') + 1);
    if (m_strAppDir.empty() || chdir(m_strAppDir.c_str()) != 0) {
        return FALSE;
    }
    Load("Halvory.ini");
    // A relative file is found in the application folder, the working folder.
    CCurlEasy::TrustOnly(GetCaFile());
    CWebBrowser2::TrustAlso(GetCaFile());
    CxImage::SetResourceLoader(&hv::LoadResourceData);
    m_pSkin = std::make_unique<CSkinSet>();
    m_pSkin->CreateSharedFonts();
    if (!m_pSkin->LoadSkinImages()) {
        return FALSE;
    }
    SetSkin(m_pSkin.get());
    // The window manager and the task bar show it for every window. Decoded
    // by our own PNG decoder: Qt's would load all its image plugins first.
    std::vector<uint8_t> data;
    CxImage icon(CXIMAGE_FORMAT_PNG);
    if (hv::LoadResourceData("ICON", hv::res::kProgramIcon.id, &data) &&
        icon.Decode(data.data(), data.size(), CXIMAGE_FORMAT_PNG)) {
        QApplication::setWindowIcon(QIcon(QPixmap::fromImage(ToQImage(icon))));
    }
    std::optional<hv::Credentials> credentials = hv::ParseCredentials(m_strCommandLine);
    ReadProductVersion(exe);
    if (std::getenv("HALVORY_REPORT_FIRST_PAINT")) {
        qApp->installEventFilter(new FirstPaintReporter(qApp));
    }

    FrameContext context;
    context.config = this;
    context.mediaCenter = &m_bMediaCenter;
    context.enginePath = m_strAppDir + HV_ENGINE_FILE_NAME;
    context.browserPlugin = m_strAppDir + "libhvbrowser.so";
    context.discoverServers = [this] { return DiscoverServers(); };
    context.checkForUpgrade = [this](const UpgradeUnpack& unpack) {
        return hv::CheckForUpgrade(
            {m_strUpgradeUrl, m_strRequiredVersion, GetProductVersion(), m_strAppDir, m_strExePath},
            [this, &unpack](const std::string& address, const std::string& file,
                            const std::string& folder) {
                CHttpDownloadDlg dialog(m_pMainFrame.get());
                dialog.m_strAddress = address;
                dialog.m_strFilePath = file;
                dialog.m_strUnpackFolder = folder;
                dialog.m_fnAccept = [address, key = PackageKeyPath()](const std::string& got) {
                    return RunBeside<bool>(
                        [address, got, key] {
                            std::string why;
                            const bool ok = hv::VerifyPackage(address, got, key, &why);
                            if (!ok) {
                                hv::LogError("upgrade refused: %s", why.c_str());
                            }
                            return ok;
                        },
                        false);
                };
                dialog.m_fnUnpack = unpack;
                return dialog.DoModal();
            });
    };
    m_pMainFrame = std::make_unique<CMainFrame>(std::move(context));
    SetFrame(m_pMainFrame.get());
    const DWORD style = WS_POPUP | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
    if (!m_pMainFrame->CreateFrame(style, RECT{0, 0, 800, 600})) {
        m_pMainFrame.reset();
        return FALSE;
    }
    // A second start may only ask for the running game to come to the front.
    m_pPublication = std::make_unique<hv::WindowPublication>(
        CMainFrame::kWindowTitle, m_pMainFrame->GetSafeHwnd(), UWM_ACTIVATE_RUNNING);
    m_pMainFrame->CenterWindow();
    if (m_nFullScreen != 0) {
        m_pMainFrame->SetWasMaximised(1);
        m_pMainFrame->ShowWindow(SW_SHOWMAXIMIZED);
    } else {
        m_pMainFrame->SetWasMaximised(0);
    }
    m_pMainFrame->ShowWindow(SW_SHOW);
    m_pMainFrame->UpdateWindow();
    m_pMainFrame->SwitchToScreen(m_pMainFrame->LoginView());
    if (credentials) {
        // Credentials given: log in at once, without the start-up check.
        CLoginView* login = m_pMainFrame->LoginView();
        login->SetUserName(credentials->user);
        // Through the box, as typed: it is left empty, and the login reads it.
        login->SetPassword(credentials->password);
        login->CapturePassword();
        // No copy of it stays behind but the one the login reads.
        std::fill(credentials->password.begin(), credentials->password.end(), '\0');
        std::fill(m_strCommandLine.begin(), m_strCommandLine.end(), '\0');
        m_pMainFrame->PostMessage(UWM_START_LOGIN);
    } else {
        PostMessageA(m_pMainFrame->LoginView()->GetSafeHwnd(), UWM_CHECK_UPGRADE, 0, 0);
    }
    // A controller on the sofa works every screen as the keyboard does.
    m_pGamepad = std::make_unique<hv::Gamepad>();
    m_pGamepad->Start();
    return TRUE;
}

std::string CApp::PackageKeyPath() const {
    const std::string key = GetPackageKey();
    return key.empty() || key.front() == '/' ? key : m_strAppDir + key;
}

int CApp::DiscoverServers() {
    struct Reply {
        std::string requiredVersion;
        std::string upgradeUrl;
        int result = -1;
    };
    Reply found{m_strRequiredVersion, m_strUpgradeUrl};
    found = RunBeside<Reply>(
        [address = GetServerIpAddrUrl(), found] {
            Reply reply = found;
            reply.result = hv::DiscoverServers(address, &reply.requiredVersion, &reply.upgradeUrl);
            return reply;
        },
        found);
    m_strRequiredVersion = std::move(found.requiredVersion);
    m_strUpgradeUrl = std::move(found.upgradeUrl);
    return found.result;
}

int CApp::ExitInstance() {
    m_pGamepad.reset();
    m_pPublication.reset();
    m_pMainFrame.reset();
    SetSkin(nullptr);
    m_pSkin.reset();
    m_hInstanceMutex.Reset();
    return 0;
}
