#include "ClientState.h"

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

std::string GamesText() {
    CGamesView* games = Frame()->GamesView();
    return games->CurrentCategory() + " " +
           games->GetDlgItem(CGamesView::kCounterId)->GetWindowText();
}

bool OnGames(const std::string& category, const std::string& counter) {
    return Frame()->ActiveView() == Frame()->GamesView() && GamesText() == category + " " + counter;
}

std::string DetailRows() {
    const CMCListBox& list = Frame()->GameInfoView()->ActionList();
    std::string rows;
    for (int i = 0; i < list.GetCount(); ++i) {
        const MCListItem* item = list.GetItem(i);
        rows += (i ? "|" : "") + item->text + ":" + std::to_string(item->value);
    }
    return rows;
}

bool OnDetail(const std::string& title, const std::string& rows) {
    CMainFrame* frame = Frame();
    CGameInfoView* detail = frame->GameInfoView();
    return frame->ActiveView() == detail && detail->GetGame() &&
           detail->GetGame()->m_strTitle == title && !detail->IsBusy() &&
           !frame->IsDownloadActive() && (rows.empty() || DetailRows() == rows);
}

}  // namespace e2e

namespace e2e {

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
    for (const std::filesystem::path& folder : Folders()) {
        if (!m_before.contains(folder)) {
            added.push_back(folder);
        }
    }
    return added.size() == 1 ? added.front().string() : std::string();
}

std::string StorageWatch::Describe() const {
    std::string names;
    for (const std::filesystem::path& folder : Folders()) {
        names += " " + folder.filename().string();
    }
    return "folders stored: " + std::to_string(Folders().size() - m_before.size()) + " in " +
           m_folder + ":" + names;
}

size_t GameLog::Closes() const {
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
