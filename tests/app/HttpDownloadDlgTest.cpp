// The upgrade download dialog, shown for real, against a local HTTP server.
#include <gtest/gtest.h>
#include <httplib.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "../support/TestFiles.h"
#include "app/HttpDownloadDlg.h"
#include "image/CxImage.h"
#include "messages/Messages.h"
#include "res/Resources.h"
#include "ui/Application.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Serves the routes the tests need on a loopback port.
class Server {
  public:
    Server() {
        for (size_t i = 0; i < m_package.size(); ++i) {
            m_package[i] = static_cast<char>(i * 7 + i / 251);
        }
        m_server.Get("/pkg/Install.sfe", [this](const auto&, httplib::Response& res) {
            res.set_content(m_package, "application/octet-stream");
        });
        // A megabyte at 20 KiB a second: long enough to cancel midway.
        m_server.Get("/slow/Install.sfe", [this](const auto&, httplib::Response& res) {
            res.set_content_provider(1024 * 1024, "application/octet-stream",
                                     [this](size_t offset, size_t, httplib::DataSink& sink) {
                                         std::this_thread::sleep_for(50ms);
                                         const std::string piece(1024, static_cast<char>(offset));
                                         return !m_stopping && sink.write(piece.data(), 1024);
                                     });
        });
        m_server.Get("/auth/Install.sfe", [](const auto&, httplib::Response& res) {
            res.status = 401;
            res.set_header("WWW-Authenticate", "Basic realm=\"upgrades\"");
            res.set_content("credentials needed", "text/plain");
        });
        m_server.Get("/none/Install.sfe", [](const auto&, httplib::Response& res) {
            res.status = 404;
            res.set_content("no such file", "text/plain");
        });
        m_server.Get("/old/Install.sfe", [this](const auto&, httplib::Response& res) {
            res.set_redirect("http://" + Address("/pkg/Install.sfe"));
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
    }
    ~Server() {
        m_stopping = true;
        m_server.stop();
        m_thread.join();
    }

    std::string Address(const std::string& path) const {
        return "127.0.0.1:" + std::to_string(m_port) + path;
    }
    const std::string& Package() const { return m_package; }

  private:
    std::string m_package = std::string(300 * 1024, '\0');
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
};

// The dialog, recording what it shows after each word from its worker.
class WatchedDialog : public CHttpDownloadDlg {
  public:
    std::map<int, std::set<std::string>> texts;
    bool played = false;

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        const LRESULT result = CHttpDownloadDlg::WindowProc(message, wParam, lParam);
        if (message >= HVM_TRANSFER_TEXT && message <= HVM_TRANSFER_CONNECTED && GetSafeHwnd()) {
            for (const int id : {IDC_FILE_STATUS, IDC_STATUS, IDC_TIME_LEFT, IDC_TRANSFER_RATE}) {
                texts[id].insert(GetDlgItem(id)->GetWindowText());
            }
            played = played || Animation().IsPlaying();
        }
        return result;
    }
};

struct DownloadDialogTest : ::testing::Test {
    Server server;
    hvtest::TempDir dir;
    fs::path folder = dir.Path();
    fs::path file = folder / "Install.sfe";
    std::vector<std::pair<std::string, std::string>> unpacked;
    bool accept = true;
    std::string asked = "(not asked)";
    std::vector<std::string> messages;
    int prompts = 0;

    // Something old in the way: the download replaces it whole.
    void SetUp() override { hvtest::WriteFile(file, "an older package"); }

    // Runs the dialog modally while a timer answers its message box and its
    // credentials prompt, and lets the test act on it.
    INT_PTR Run(WatchedDialog& dialog, const std::string& address,
                const std::function<void(WatchedDialog&)>& act = {}) {
        dialog.m_strAddress = address;
        dialog.m_strFilePath = file.string();
        dialog.m_strUnpackFolder = folder.string();
        dialog.m_fnUnpack = [this](const std::string& f, const std::string& to) {
            unpacked.emplace_back(f, to);
            return 1;
        };
        dialog.m_fnAccept = [this](const std::string& f) {
            asked = hvtest::ReadFile(f);
            return accept;
        };
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                messages.push_back(box->text().toStdString());
                box->done(QMessageBox::Ok);
            } else if (auto* prompt = qobject_cast<QDialog*>(modal);
                       prompt && prompt->objectName() == "credentials") {
                ++prompts;
                prompt->reject();
            } else if (dialog.GetSafeHwnd() && act) {
                act(dialog);
            }
        });
        timer.start(5);
        return dialog.DoModal();
    }
};

}  // namespace

// A whole file is asked about before it is unpacked; one refused is deleted.
TEST_F(DownloadDialogTest, EndsAsTheServerAnswers) {
    const std::string pkg = "/pkg/Install.sfe";
    const std::string retrieving = "Retrieving the file";
    const struct {
        const char* name;
        std::string address;
        bool accept;
        INT_PTR result;
        std::optional<std::string> content;  // none: no file left
        const char* message;                 // null: none
        int prompts;
        std::string statuses;  // lines the status line showed on the way
    } rows[] = {
        {"complete", "http://" + server.Address(pkg), true, IDOK, server.Package(), nullptr, 0,
         "Resolving name: 127.0.0.1\nResolved name to 127.0.0.1\nConnecting to 127.0.0.1\n"
         "Connected to 127.0.0.1\nGetting file information\n" +
             retrieving},
        {"redirected", server.Address("/old/Install.sfe"), true, IDOK, server.Package(), nullptr, 0,
         "Redirecting to http://" + server.Address(pkg)},
        // The prompt declined: on as if it had succeeded, its body already
        // dropped.
        {"401, prompt declined", server.Address("/auth/Install.sfe"), true, IDOK, "", nullptr, 1,
         retrieving},
        {"refused", server.Address(pkg), false, IDCANCEL, std::nullopt,
         "The downloaded file is not the one the service published. It has been "
         "deleted.",
         0, retrieving},
        {"404", server.Address("/none/Install.sfe"), true, IDCANCEL, std::nullopt,
         "Failed to receive a valid HTTP response from the server", 0, "Connected to 127.0.0.1"},
        {"nobody listening", "http://127.0.0.1:1" + pkg, true, IDCANCEL, std::nullopt,
         "An error occurred connecting to the server, Error:111", 0, "Connecting to 127.0.0.1"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SetUp();
        unpacked.clear();
        messages.clear();
        prompts = 0;
        accept = row.accept;
        asked = "(not asked)";
        WatchedDialog dialog;
        EXPECT_EQ(Run(dialog, row.address), row.result);
        EXPECT_EQ(messages,
                  row.message ? std::vector<std::string>{row.message} : std::vector<std::string>{});
        EXPECT_EQ(prompts, row.prompts);
        EXPECT_EQ(fs::exists(file), row.content.has_value());
        if (row.content) {
            EXPECT_TRUE(hvtest::ReadFile(file) == *row.content) << "content differs";
        }
        const std::string askedWanted = row.content  ? *row.content
                                        : row.accept ? "(not asked)"
                                                     : server.Package();
        EXPECT_TRUE(asked == askedWanted) << "asked about the whole file, once it came";
        const std::vector<std::pair<std::string, std::string>> unpackedWanted =
            row.result == IDOK ? std::vector{std::pair{file.string(), folder.string()}}
                               : std::vector<std::pair<std::string, std::string>>{};
        EXPECT_EQ(unpacked, unpackedWanted);
        EXPECT_TRUE(dialog.texts[CHttpDownloadDlg::IDC_FILE_STATUS].contains(
            "Required upgrades in progress..."));
        std::istringstream statuses(row.statuses);
        for (std::string status; std::getline(statuses, status);) {
            EXPECT_TRUE(dialog.texts[CHttpDownloadDlg::IDC_STATUS].contains(status)) << status;
        }
        // The animation plays once connected.
        EXPECT_EQ(dialog.played, row.statuses != "Connecting to 127.0.0.1");
    }
}

// Escape or the close box midway: the transfer stops, its file goes, no
// message.
TEST_F(DownloadDialogTest, CancelMidwayLeavesNothing) {
    for (const bool closeBox : {false, true}) {
        SCOPED_TRACE(closeBox ? "close box" : "Escape");
        SetUp();
        WatchedDialog dialog;
        bool cancelled = false;
        bool abortingShown = false;
        const auto act = [&](WatchedDialog& d) {
            const std::string caption = d.GetWindowText();
            const std::string status = d.GetDlgItem(CHttpDownloadDlg::IDC_STATUS)->GetWindowText();
            if (cancelled) {
                abortingShown = abortingShown || status == "Aborting transfer";
                return;
            }
            // Midway: a percent, the time left and the rate are shown.
            if (caption.find("% of Install.sfe Completed") == std::string::npos ||
                caption[0] == '0' ||
                d.GetDlgItem(CHttpDownloadDlg::IDC_TIME_LEFT)->GetWindowText().empty() ||
                !d.GetDlgItem(CHttpDownloadDlg::IDC_TRANSFER_RATE)
                     ->GetWindowText()
                     .ends_with("/Sec")) {
                return;
            }
            if (!closeBox) {
                QDir().mkpath(HALVORY_ARTIFACTS_DIR);
                d.GetWidget()->grab().save(HALVORY_ARTIFACTS_DIR "/download-dialog.png");
            }
            cancelled = true;
            if (closeBox) {
                d.GetWidget()->close();
            } else {
                QTest::keyClick(d.GetWidget(), Qt::Key_Escape);
            }
            abortingShown =
                d.GetDlgItem(CHttpDownloadDlg::IDC_STATUS)->GetWindowText() == "Aborting transfer";
            EXPECT_FALSE(d.GetDlgItem(IDCANCEL)->IsWindowEnabled());
        };
        EXPECT_EQ(Run(dialog, server.Address("/slow/Install.sfe"), act), IDCANCEL);
        EXPECT_TRUE(cancelled);
        EXPECT_TRUE(abortingShown);
        EXPECT_EQ(messages, std::vector<std::string>{});
        EXPECT_FALSE(fs::exists(file));
        EXPECT_TRUE(unpacked.empty());
    }
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    CWinApp application(argc, argv);
    CxImage::SetResourceLoader(&hv::LoadResourceData);
    return RUN_ALL_TESTS();
}
