// What the drivers read of the running client: the question on top, the
// screens and the games stored.
#pragma once

#include <QApplication>
#include <QWidget>
#include <filesystem>
#include <set>
#include <string>

#include "ui/Wnd.h"

class CMainFrame;
class CMessageDlg;

namespace e2e {

CMainFrame* Frame();
// The frame shows this screen.
bool On(const CWnd* view);

// The first shown top-level window of type T that `match` accepts, or null.
template <class T>
T* ShownWindow(bool (*match)(T*) = nullptr) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* window = dynamic_cast<T*>(CWnd::FromWidget(widget));
        if (window && widget->isVisible() && (!match || match(window))) {
            return window;
        }
    }
    return nullptr;
}

// The question on top, or null.
CMessageDlg* QuestionDialog();
// The text of the question on top; empty without one.
std::string Question();
bool Asking(const std::string& start);
bool NoQuestion();

// The games screen with this category and counter ("1 Of 6").
bool OnGames(const std::string& category, const std::string& counter);
// The detail screen of `title`, idle, with these action rows ("text:action|...";
// any when empty).
bool OnDetail(const std::string& title, const std::string& rows);

// The storage folder the first storage question offers (the client's own)
// and the games stored there since.
class StorageWatch {
  public:
    // Takes the folder from the question on top, the first time only.
    bool Note();
    // Exactly `count` games more than when it was noted.
    bool Stored(size_t count) const;
    // The one folder stored since; empty unless there is exactly one.
    std::string NewFolder() const;

  private:
    std::set<std::filesystem::path> Folders() const;

    std::string m_folder;
    std::set<std::filesystem::path> m_before;
};

// How often the demo game has closed, by its log (HALVORY_DEMO_GAME_LOG).
size_t GamesClosed();

}  // namespace e2e
