#include "ClientState.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "catalogue/GameInfo.h"
#include "frame/MainFrame.h"
#include "screens/GameInfoView.h"
#include "screens/GamesView.h"
#include "skin/MCListBox.h"
#include "skin/MessageDlg.h"

namespace e2e {

namespace {

// Controls of the message dialog: its text and its folder entry.
constexpr int kMessageId = 1011;
constexpr int kFolderId = 1120;

}  // namespace

CMainFrame* Frame() {
    return dynamic_cast<CMainFrame*>(GetFrame());
}

bool On(const CWnd* view) {
    return Frame()->ActiveView() == view;
}

CMessageDlg* QuestionDialog() {
    // The purchase confirmation does not block the frame: it is found among
    // the shown windows.
    auto* dialog = dynamic_cast<CMessageDlg*>(CWnd::FromWidget(QApplication::activeModalWidget()));
    return dialog ? dialog : ShownWindow<CMessageDlg>([](CMessageDlg* shown) {
        return shown->m_bPurchase != 0;
    });
}

std::string Question() {
    CMessageDlg* dialog = QuestionDialog();
    return dialog ? dialog->GetDlgItem(kMessageId)->GetWindowText() : std::string();
}

bool Asking(const std::string& start) {
    return Question().rfind(start, 0) == 0 && !start.empty();
}

bool NoQuestion() {
    return Question().empty();
}

bool OnGames(const std::string& category, const std::string& counter) {
    CGamesView* games = Frame()->GamesView();
    return On(games) && games->CurrentCategory() == category &&
           games->GetDlgItem(CGamesView::kCounterId)->GetWindowText() == counter;
}

bool OnDetail(const std::string& title, const std::string& rows) {
    CGameInfoView* detail = Frame()->GameInfoView();
    const CMCListBox& list = detail->ActionList();
    std::string shown;
    for (int i = 0; i < list.GetCount(); ++i) {
        shown +=
            (i ? "|" : "") + list.GetItem(i)->text + ":" + std::to_string(list.GetItem(i)->value);
    }
    return On(detail) && detail->GetGame() && detail->GetGame()->m_strTitle == title &&
           !detail->IsBusy() && !Frame()->IsDownloadActive() && (rows.empty() || shown == rows);
}

bool StorageWatch::Note() {
    if (m_folder.empty()) {
        m_folder = QuestionDialog()->GetDlgItem(kFolderId)->GetWindowText();
        m_before = Folders();
    }
    return true;
}

std::set<std::filesystem::path> StorageWatch::Folders() const {
    std::set<std::filesystem::path> folders;
    std::error_code error;
    for (std::filesystem::directory_iterator it(m_folder, error), end; !error && it != end;
         it.increment(error)) {
        if (it->is_directory()) {
            folders.insert(it->path());
        }
    }
    return folders;
}

bool StorageWatch::Stored(size_t count) const {
    return Folders().size() == m_before.size() + count;
}

std::string StorageWatch::NewFolder() const {
    std::vector<std::filesystem::path> added;
    std::ranges::set_difference(Folders(), m_before, std::back_inserter(added));
    return added.size() == 1 ? added.front().string() : std::string();
}

size_t GamesClosed() {
    const char* path = std::getenv("HALVORY_DEMO_GAME_LOG");
    std::ifstream in(path ? path : "");
    const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t count = 0;
    for (size_t at = log.find("closed: "); at != std::string::npos;
         at = log.find("closed: ", at + 1)) {
        ++count;
    }
    return count;
}

}  // namespace e2e
