// The web view plugin: Qt WebEngine behind the client's IBrowserPage.
#include <unistd.h>

#include <QLoggingCategory>
#include <QQuickWindow>
#include <QSslCertificate>
#include <QUrl>
#include <QWebEngineCertificateError>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <cstdio>
#include <string>
#include <vector>

#include "trust/CertificateChain.h"
#include "ui/BrowserPage.h"

namespace {

// Before Chromium starts. The service's pages are plain documents, drawn in
// software like the rest of the client.
void ConfigureEngine() {
    QLoggingCategory::setFilterRules("qt.webenginecontext.info=false");
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    flags += " --disable-gpu --enable-low-end-device-mode --js-flags=--lite-mode";
    // Chromium's sandbox cannot start for root; everywhere else it stays on.
    // Without the sandbox its zygote processes would only cost memory.
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        flags += " --no-zygote";
        std::fprintf(stderr,
                     "halvory: running as root, so the web view runs without its "
                     "sandbox\n");
    }
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
}

class CWebEnginePage final : public QWebEngineView, public IBrowserPage {
  public:
    CWebEnginePage(QWidget* parent, std::string caFile) : QWebEngineView(parent) {
        // Chromium knows only the system's authorities; a chain it doubts is
        // taken when the service's own authority vouches for it.
        connect(page(), &QWebEnginePage::certificateError, this,
                [caFile = std::move(caFile)](const QWebEngineCertificateError& doubted) {
                    QWebEngineCertificateError error = doubted;
                    std::vector<std::string> chain;
                    for (const QSslCertificate& certificate : error.certificateChain()) {
                        const QByteArray der = certificate.toDer();
                        chain.emplace_back(der.constData(), static_cast<std::size_t>(der.size()));
                    }
                    if (error.isOverridable() &&
                        hv::ChainTrusted(chain, error.url().host().toStdString(), caFile)) {
                        error.acceptCertificate();
                    } else {
                        error.rejectCertificate();
                    }
                });
    }

    QWidget* Widget() override { return this; }

    void Navigate(const std::string& address) override {
        load(QUrl::fromUserInput(QString::fromStdString(address)));
    }

    void Stop() override { stop(); }

    void PageText(std::function<void(const std::string&)> done) override {
        page()->toPlainText(
            [done = std::move(done)](const QString& text) { done(text.toStdString()); });
    }
};

}  // namespace

extern "C" __attribute__((visibility("default"))) IBrowserPage* hv_CreateBrowserPage(
    QWidget* parent, const char* caFile) {
    static const bool configured = (ConfigureEngine(), true);
    (void)configured;
    return new CWebEnginePage(parent, caFile ? caFile : "");
}
