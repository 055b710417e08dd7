#include "ui/WebBrowser2.h"

#include <QLibrary>
#include <QWidget>

#include "ui/BrowserPage.h"
#include "winapi/Log.h"

namespace {

// Set on the user-interface thread, which alone makes pages.
std::string g_caFile;

// Loaded once and never unloaded: Chromium cannot be shut down and started
// again in one process.
CreateBrowserPageFn LoadPlugin(const std::string& path) {
    static QLibrary* library = nullptr;
    static CreateBrowserPageFn create = nullptr;
    if (!library && !path.empty()) {
        library = new QLibrary(QString::fromStdString(path));
        create = reinterpret_cast<CreateBrowserPageFn>(library->resolve(kCreateBrowserPageSymbol));
        if (!create) {
            hv::LogError("web view unavailable: %s", library->errorString().toUtf8().constData());
        }
    }
    return create;
}

}  // namespace

void CWebBrowser2::TrustAlso(const std::string& caFile) {
    g_caFile = caFile;
}

BOOL CWebBrowser2::Create(const std::string& pluginPath, CWnd* host, const RECT& rect, UINT id) {
    const CreateBrowserPageFn create = LoadPlugin(pluginPath);
    if (GetSafeHwnd() || !host || !host->GetWidget() || !create) {
        return FALSE;
    }
    m_page = create(host->GetWidget(), g_caFile.c_str());
    QWidget* widget = m_page->Widget();
    widget->setGeometry(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    if (!Attach(widget, host, id)) {
        delete widget;
        m_page = nullptr;
        return FALSE;
    }
    ShowWindow(SW_SHOW);
    return TRUE;
}

void CWebBrowser2::Navigate(const std::string& address) {
    if (m_page) {
        m_page->Navigate(address);
    }
}

void CWebBrowser2::Stop() {
    if (m_page) {
        m_page->Stop();
    }
}

void CWebBrowser2::PageText(std::function<void(const std::string&)> done) {
    if (m_page) {
        m_page->PageText(std::move(done));
    }
}

LRESULT CWebBrowser2::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        m_page = nullptr;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}
