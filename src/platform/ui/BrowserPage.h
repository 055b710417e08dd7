// What the client needs of an embedded web view. The view itself lives in a
// plugin (browser/) that is loaded on first use, so that Chromium costs the
// process neither start-up time nor memory until a page is shown.
#pragma once

#include <functional>
#include <string>

class QWidget;

class IBrowserPage {
  public:
    virtual ~IBrowserPage() = default;

    // The view's widget; deleting it deletes the page.
    virtual QWidget* Widget() = 0;
    virtual void Navigate(const std::string& address) = 0;
    virtual void Stop() = 0;
    // The page's visible text as rendered, handed to `done` later on the
    // user-interface thread.
    virtual void PageText(std::function<void(const std::string&)> done) = 0;
};

// The plugin's one export: a new page as a child of `parent`, which also
// trusts the certificates in the PEM file caFile (when not empty).
using CreateBrowserPageFn = IBrowserPage* (*)(QWidget* parent, const char* caFile);
inline constexpr const char* kCreateBrowserPageSymbol = "hv_CreateBrowserPage";
