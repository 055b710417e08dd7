// The upgrade download dialog, shown for real, against a local HTTP server.
#include <gtest/gtest.h>
#include <httplib.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <regex>
#include <set>
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

constexpr char kTitle[] = "File Download";

std::string RandomBytes(size_t size) {
    std::mt19937 random(7);
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random());
    }
    return bytes;
}

// Serves the routes the tests need on a loopback port, counting requests.
class Server {
  public:
    Server() : m_package(RandomBytes(300 * 1024)) {
        Route("/pkg/Install.sfe", [this](httplib::Response& res) {
            res.set_content(m_package, "application/octet-stream");
        });
        // No Content-Length: 8 KiB in pieces over about two seconds.
        Route("/chunked/Install.sfe", [this](httplib::Response& res) {
            res.set_chunked_content_provider("application/octet-stream",
                                             [this](size_t offset, httplib::DataSink& sink) {
                                                 std::this_thread::sleep_for(250ms);
                                                 if (offset >= 8 * 1024) {
                                                     sink.done();
                                                     return true;
                                                 }
                                                 return sink.write(m_package.data() + offset, 1024);
                                             });
        });
        // A megabyte at 20 KiB a second: long enough to cancel midway.
        Route("/slow/Install.sfe", [this](httplib::Response& res) {
            res.set_content_provider(1024 * 1024, "application/octet-stream",
                                     [this](size_t offset, size_t, httplib::DataSink& sink) {
                                         std::this_thread::sleep_for(50ms);
                                         const std::string piece(1024, static_cast<char>(offset));
                                         return !m_stopping && sink.write(piece.data(), 1024);
                                     });
        });
        Route("/auth/Install.sfe", [](httplib::Response& res) {
            res.status = 401;
            res.set_header("WWW-Authenticate", "Basic realm=\"upgrades\"");
            res.set_content("credentials needed", "text/plain");
        });
        Route("/none/Install.sfe", [](httplib::Response& res) {
            res.status = 404;
            res.set_content("no such file", "text/plain");
        });
        Route("/old/Install.sfe", [this](httplib::Response& res) {
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
    int Requests(const std::string& path) {
        std::lock_guard guard(m_lock);
        return m_requests[path];
    }
    const std::string& Package() const { return m_package; }

  private:
    void Route(const std::string& path, std::function<void(httplib::Response&)> answer) {
        m_server.Get(path, [this, answer](const httplib::Request& req, httplib::Response& res) {
            {
                std::lock_guard guard(m_lock);
                ++m_requests[req.path];
            }
            answer(res);
        });
    }

    std::string m_package;
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
    std::mutex m_lock;
    std::map<std::string, int> m_requests;
};

// The dialog, recording what it shows after each word from its worker.
class WatchedDialog : public CHttpDownloadDlg {
  public:
    std::set<std::string> captions;
    std::map<int, std::set<std::string>> texts;
    bool played = false;

    bool Saw(int id, const std::string& text) const {
        const auto it = texts.find(id);
        return it != texts.end() && it->second.count(text) > 0;
    }

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        const LRESULT result = CHttpDownloadDlg::WindowProc(message, wParam, lParam);
        if (message >= HVM_TRANSFER_TEXT && message <= HVM_TRANSFER_CONNECTED && GetSafeHwnd()) {
            captions.insert(GetWindowText());
            for (const int id : {IDC_FILE_STATUS, IDC_STATUS, IDC_TIME_LEFT, IDC_TRANSFER_RATE}) {
                texts[id].insert(GetDlgItem(id)->GetWindowText());
            }
            played = played || Animation().IsPlaying();
        }
        return result;
    }
};

// Runs the dialog modally while a timer answers its message box and its
// credentials prompt, and lets a test act on it.
struct Watcher {
    explicit Watcher(WatchedDialog& watched, std::function<void(WatchedDialog&)> action = {})
        : dialog(watched), act(std::move(action)) {}

    WatchedDialog& dialog;
    std::function<void(WatchedDialog&)> act;
    std::vector<std::string> messages;
    int prompts = 0;

    INT_PTR Run() {
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [this] { Look(); });
        timer.start(5);
        return dialog.DoModal();
    }

    void Look() {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            messages.push_back(box->text().toStdString());
            box->done(QMessageBox::Ok);
            return;
        }
        if (auto* prompt = qobject_cast<QDialog*>(modal);
            prompt && prompt->objectName() == "credentials") {
            ++prompts;
            prompt->reject();
            return;
        }
        if (dialog.GetSafeHwnd() && act) {
            act(dialog);
        }
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

    // Something old in the way: the download replaces it whole.
    void SetUp() override { hvtest::WriteFile(file, "an older package"); }

    void Prepare(CHttpDownloadDlg& dialog, const std::string& address) {
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
        int requests;  // to the address's own path
        bool accept;
        INT_PTR result;
        std::optional<std::string> content;  // none: no file left
        const char* message;                 // null: none
        int prompts;
        std::string status;  // one the status line showed on the way
    } rows[] = {
        {"complete", "http://" + server.Address(pkg), 1, true, IDOK, server.Package(), nullptr, 0,
         retrieving},
        {"redirected", server.Address("/old/Install.sfe"), 1, true, IDOK, server.Package(), nullptr,
         0, "Redirecting to http://" + server.Address(pkg)},
        // The prompt declined: on as if it had succeeded, its body already
        // dropped.
        {"401, prompt declined", server.Address("/auth/Install.sfe"), 1, true, IDOK, "", nullptr, 1,
         retrieving},
        {"refused", server.Address(pkg), 1, false, IDCANCEL, std::nullopt,
         "The downloaded file is not the one the service published. It has been "
         "deleted.",
         0, retrieving},
        {"404", server.Address("/none/Install.sfe"), 1, true, IDCANCEL, std::nullopt,
         "Failed to receive a valid HTTP response from the server", 0, "Connected to 127.0.0.1"},
        {"nobody listening", "http://127.0.0.1:1" + pkg, 0, true, IDCANCEL, std::nullopt,
         "An error occurred connecting to the server, Error:111", 0, "Connecting to 127.0.0.1"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SetUp();
        unpacked.clear();
        accept = row.accept;
        asked = "(not asked)";
        const std::string path = row.address.substr(row.address.find('/', 8));
        const int before = server.Requests(path);
        WatchedDialog dialog;
        Prepare(dialog, row.address);
        Watcher watcher(dialog);
        EXPECT_EQ(watcher.Run(), row.result);
        EXPECT_EQ(watcher.messages,
                  row.message ? std::vector<std::string>{row.message} : std::vector<std::string>{});
        EXPECT_EQ(watcher.prompts, row.prompts);
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
        EXPECT_TRUE(
            dialog.Saw(CHttpDownloadDlg::IDC_FILE_STATUS, "Required upgrades in progress..."));
        EXPECT_TRUE(dialog.Saw(CHttpDownloadDlg::IDC_STATUS, row.status)) << row.status;
        EXPECT_EQ(server.Requests(path) - before, row.requests);
        if (row.requests > 0) {
            EXPECT_TRUE(dialog.played) << "the animation plays once connected";
        }
    }
}

// Without a length there is no percent and no time left, but a rate.
TEST_F(DownloadDialogTest, WithoutALengthShowsOnlyTheRate) {
    WatchedDialog dialog;
    Prepare(dialog, server.Address("/chunked/Install.sfe"));
    Watcher watcher(dialog);
    EXPECT_EQ(watcher.Run(), IDOK);
    EXPECT_EQ(hvtest::ReadFile(file), server.Package().substr(0, 8 * 1024));
    EXPECT_EQ(dialog.captions, std::set<std::string>{kTitle});
    EXPECT_EQ(dialog.texts[CHttpDownloadDlg::IDC_TIME_LEFT], std::set<std::string>{""});
    const auto& rates = dialog.texts[CHttpDownloadDlg::IDC_TRANSFER_RATE];
    // A KiB every quarter second: about 4 bytes a millisecond, shown as KB/Sec.
    const std::regex rate(R"([345]\.\d\d KB/Sec)");
    EXPECT_TRUE(std::any_of(rates.begin(), rates.end(), [&rate](const std::string& text) {
        return std::regex_match(text, rate);
    })) << "a rate was shown";
    for (const char* status :
         {"Resolving name: 127.0.0.1", "Resolved name to 127.0.0.1", "Connecting to 127.0.0.1",
          "Connected to 127.0.0.1", "Getting file information", "Retrieving the file"}) {
        EXPECT_TRUE(dialog.Saw(CHttpDownloadDlg::IDC_STATUS, status)) << status;
    }
}

// Escape or the close box midway: the transfer stops, its file goes, no
// message.
TEST_F(DownloadDialogTest, CancelMidwayLeavesNothing) {
    for (const bool closeBox : {false, true}) {
        SCOPED_TRACE(closeBox ? "close box" : "Escape");
        SetUp();
        WatchedDialog dialog;
        Prepare(dialog, server.Address("/slow/Install.sfe"));
        bool cancelled = false;
        bool abortingShown = false;
        Watcher watcher{
            dialog, [&](WatchedDialog& d) {
                const std::string caption = d.GetWindowText();
                if (cancelled) {
                    abortingShown = abortingShown ||
                                    d.GetDlgItem(CHttpDownloadDlg::IDC_STATUS)->GetWindowText() ==
                                        "Aborting transfer";
                    return;
                }
                if (caption.find("% of Install.sfe Completed") == std::string::npos ||
                    caption[0] == '0' ||
                    d.GetDlgItem(CHttpDownloadDlg::IDC_TIME_LEFT)->GetWindowText().empty()) {
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
                abortingShown = d.GetDlgItem(CHttpDownloadDlg::IDC_STATUS)->GetWindowText() ==
                                "Aborting transfer";
                EXPECT_FALSE(d.GetDlgItem(IDCANCEL)->IsWindowEnabled());
            }};
        EXPECT_EQ(watcher.Run(), IDCANCEL);
        EXPECT_TRUE(cancelled);
        EXPECT_TRUE(abortingShown);
        EXPECT_EQ(watcher.messages, std::vector<std::string>{});
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
