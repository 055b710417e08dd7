// CWebBrowser2: the web browser control, a child window that shows one page.
// Its engine is a plugin loaded on first use; without the plugin the control
// cannot be created and pages are simply not shown.
#pragma once

#include <functional>
#include <string>

#include "ui/Wnd.h"

class IBrowserPage;

class CWebBrowser2 : public CWnd {
  public:
    // Pages made from now on also trust the certificates in this PEM file (a
    // private service's own authority); empty: only the system's.
    static void TrustAlso(const std::string& caFile);

    // A visible child of `host` covering `rect`; FALSE when the plugin at
    // `pluginPath` cannot be loaded.
    BOOL Create(const std::string& pluginPath, CWnd* host, const RECT& rect, UINT id);
    void Navigate(const std::string& address);
    void Stop();
    void PageText(std::function<void(const std::string&)> done);

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    IBrowserPage* m_page = nullptr;  // owned by the widget
};
