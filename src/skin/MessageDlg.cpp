#include "skin/MessageDlg.h"

#include <unistd.h>

#include <QApplication>
#include <QLineEdit>
#include <QPainter>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <climits>

#include "halvory/engine.h"
#include "res/ResourceTable.h"
#include "shell/Shell.h"
#include "skin/SkinSet.h"
#include "ui/DrawText.h"
#include "winapi/UniqueHandle.h"

namespace {

enum : int {
    IDC_TITLE = 1010,
    IDC_MESSAGE = 1011,
    IDC_LINK = 1115,
    IDC_BROWSE = 1119,
    IDC_FOLDER = 1120,
};

void RegisterTemplate() {
    static const bool registered = [] {
        RegisterDialogTemplate(DialogTemplate{
            CMessageDlg::kTemplateId,
            333,
            197,
            WS_POPUP,
            {{IDC_TITLE, DialogItemKind::Static, "Title", RECT{3, 3, 163, 12}, WS_VISIBLE},
             {IDC_MESSAGE, DialogItemKind::Static, "Message", RECT{6, 27, 215, 75}, WS_VISIBLE},
             {IDC_LINK, DialogItemKind::Static, "", RECT{6, 111, 215, 19}, SS_CENTER},
             {IDC_BROWSE, DialogItemKind::Button, "Browse...", RECT{141, 109, 80, 23}, 0},
             {IDYES, DialogItemKind::Button, "", RECT{7, 136, 95, 27}, 0},
             {IDNO, DialogItemKind::Button, "", RECT{120, 136, 95, 27}, 0},
             {IDOK, DialogItemKind::Button, "OK", RECT{29, 134, 167, 31}, WS_VISIBLE},
             {IDC_FOLDER, DialogItemKind::Edit, "", RECT{4, 109, 135, 23}, 0}}});
        return true;
    }();
    (void)registered;
}

std::string CurrentDirectory() {
    char path[PATH_MAX] = {};
    return getcwd(path, sizeof(path)) ? std::string(path) : std::string();
}

QFont SkinFont(int height, int weight) {
    CSkinSet* skin = GetSkin();
    return skin ? skin->Font(height, weight) : QFont();
}

}  // namespace

CMessageDlg::CMessageDlg(CWnd* parent) : CDialog(kTemplateId, parent) {
    RegisterTemplate();
    SetStaticTextColour(ToQColor(hv::look::kStaticText));
}

CMessageDlg::~CMessageDlg() {
    DestroyWindow();
}

std::string CMessageDlg::HelpAddress() const {
    std::string address = m_strErrorInfoUrl;
    if (address.empty()) {
        address = kBuiltInErrorInfoUrl;
    }
    if (m_lErrorCode != 0) {
        address += "?Err=" + std::to_string(m_lErrorCode);
    }
    return address;
}

BOOL CMessageDlg::OnInitDialog() {
    const QFont titleFont = SkinFont(18, 700);
    const QFont textFont = SkinFont(30, 400);
    Item(IDC_TITLE)->GetWidget()->setFont(titleFont);
    Item(IDC_MESSAGE)->GetWidget()->setFont(textFont);
    Item(IDC_LINK)->GetWidget()->setFont(textFont);

    if (m_bTwoButtons) {
        Item(IDOK)->ShowWindow(SW_HIDE);
        m_btnYes.SubclassDlgItem(IDYES, this);
        m_btnNo.SubclassDlgItem(IDNO, this);
        const bool yesNo = m_bYesNo || m_bPurchase;
        m_btnYes.SetWindowText(m_bFolder && !yesNo ? "Ok" : "Yes");
        m_btnNo.SetWindowText(m_bFolder && !yesNo ? "Cancel" : "No");
        if (m_bFolder || yesNo) {
            Resize();
        }
        if (m_bFolder) {
            m_btnBrowse.SubclassDlgItem(IDC_BROWSE, this);
            m_btnBrowse.SetSkinImages();
            m_btnBrowse.SetFont(textFont);
            m_btnBrowse.StartAnimation();
            m_btnBrowse.ShowWindow(SW_SHOW);
            CWnd* edit = Item(IDC_FOLDER);
            edit->GetWidget()->setFont(textFont);
            m_strFolderPath = CurrentDirectory().substr(0, 260);
            edit->SetWindowText(m_strFolderPath);
            edit->ShowWindow(SW_SHOW);
        }
        for (CAniButton* button : {&m_btnYes, &m_btnNo}) {
            button->SetSkinImages();
            button->SetFont(textFont);
            button->StartAnimation();
            button->ShowWindow(SW_SHOW);
        }
        (m_bFirstDefault ? m_btnYes : m_btnNo).SetFocus();
    } else {
        m_btnOk.SubclassDlgItem(IDOK, this);
        m_btnOk.SetSkinImages();
        m_btnOk.SetFont(textFont);
        m_btnOk.StartAnimation();
        m_btnOk.SetFocus();
    }
    if (m_bHelpLink || m_bPurchase) {
        Item(IDC_LINK)->ShowWindow(SW_SHOW);
    }
    Item(IDC_TITLE)->SetWindowText(m_strTitle);
    CWnd* message = Item(IDC_MESSAGE);
    message->SetWindowText(m_strMessage);
    message->GetWidget()->setFont(FitFont(textFont, QString::fromStdString(m_strMessage),
                                          message->GetWidget()->size(), true));
    if (CWnd* frame = ParentWnd(); frame && frame->GetWidget()) {
        QRect area = GetWidget()->geometry();
        area.moveCenter(frame->GetWidget()->geometry().center());
        GetWidget()->move(area.topLeft());
    }
    return FALSE;  // the focus is set
}

void CMessageDlg::Resize() {
    using namespace hv::look;
    constexpr int kInner = kWideMessageWidth - 2 * kWideMessageMargin;
    GetWidget()->resize(kWideMessageWidth, kWideMessageHeight);
    CWnd* message = Item(IDC_MESSAGE);
    const QRect old = message->GetWidget()->geometry();
    // The message stops short of the link and the folder row below it.
    const int below = m_bPurchase ? kWideMessageLinkBottom - Item(IDC_LINK)->GetWidget()->height()
                      : m_bFolder ? kWideMessageFolderTop
                                  : kWideMessageButtonTop;
    message->MoveWindow(kWideMessageMargin, kWideMessageTextTop, kInner,
                        std::min(old.height() + 60, below - kWideMessageTextTop - 4));
    m_btnYes.MoveWindow(kWideMessageMargin, kWideMessageButtonTop, kWideMessageButtonWidth,
                        kWideMessageButtonHeight);
    m_btnNo.MoveWindow(kWideMessageWidth - kWideMessageMargin - kWideMessageButtonWidth,
                       kWideMessageButtonTop, kWideMessageButtonWidth, kWideMessageButtonHeight);
    if (m_bPurchase) {
        CWnd* link = Item(IDC_LINK);
        const int height = link->GetWidget()->height();
        link->MoveWindow(kWideMessageMargin, kWideMessageLinkBottom - height,
                         kWideMessageWidth - kWideMessageMargin, height);
    }
    if (m_bFolder) {
        // The entry takes most of the row, the chooser the rest.
        constexpr int kEntryWidth = 320;
        constexpr int kChooserLeft = kWideMessageMargin + kEntryWidth + kWideMessageMargin;
        Item(IDC_FOLDER)
            ->MoveWindow(kWideMessageMargin, kWideMessageFolderTop, kEntryWidth,
                         kWideMessageButtonHeight);
        Item(IDC_BROWSE)
            ->MoveWindow(kChooserLeft, kWideMessageFolderTop,
                         kWideMessageWidth - kWideMessageMargin - kChooserLeft,
                         kWideMessageButtonHeight);
    }
}

QRect CMessageDlg::LinkHitRect() const {
    QRect area = Item(IDC_LINK)->GetWidget()->geometry();
    if (m_nLinkWidth > 0 && m_nLinkHeight > 0 && m_nLinkWidth < area.width()) {
        area = QRect(area.left() + (area.width() - m_nLinkWidth) / 2, area.top(), m_nLinkWidth,
                     area.height());
    }
    return area;
}

void CMessageDlg::Paint() {
    QPainter painter(GetWidget());
    const QRect part = PaintArea(*this);
    const UINT pictureId = m_bHelpLink     ? hv::res::kMessageHelpLink.id
                           : m_bTwoButtons ? hv::res::kMessageTwoButtons.id
                                           : hv::res::kMessageOneButton.id;
    if (const CPicture* picture = GetSkin() ? GetSkin()->Picture(pictureId) : nullptr) {
        DrawPicture(painter, *picture, GetWidget()->rect(), part);
    } else {
        painter.fillRect(part, ToQColor(hv::look::kDialogFill));
    }
    CWnd* link = Item(IDC_LINK);
    if (!(m_bHelpLink || m_bPurchase) || !link) {
        return;
    }
    const std::string text =
        m_bPurchase ? "View Terms of Use and Privacy Policy!" : "Click here to view help!";
    const QRect area = link->GetWidget()->geometry();
    const QFont font =
        FitFont(link->GetWidget()->font(), QString::fromStdString(text), area.size(), false);
    painter.setFont(font);
    painter.setPen(ToQColor(hv::look::kLinkText));
    QRect textRect = area;
    hv::DrawText(painter, text, &textRect, DT_CENTER | DT_SINGLELINE);
    const QFontMetrics metrics(font);
    m_nLinkWidth = metrics.horizontalAdvance(QString::fromStdString(text));
    m_nLinkHeight = metrics.height();
    if (m_nLinkWidth < area.width()) {
        const int left = area.left() + (area.width() - m_nLinkWidth) / 2;
        painter.drawLine(left, area.bottom(), left + m_nLinkWidth, area.bottom());
    } else {
        painter.drawLine(area.left(), area.bottom() + 1, area.right(), area.bottom() + 1);
    }
}

void CMessageDlg::OnLinkClicked() {
    if (m_bPurchase) {
        if (CWnd* owner = ParentWnd()) {
            owner->EnableWindow(TRUE);
        }
        ShowWindow(SW_HIDE);
        if (m_fnShowTerms) {
            m_fnShowTerms();
        }
        return;
    }
    hv::OpenInBrowser(HelpAddress());
}

void CMessageDlg::AnswerPurchase(bool yes) {
    const hv::UniqueHandle event(
        CreateEventA(nullptr, TRUE, FALSE, yes ? HV_PURCHASE_EVENT : HV_NO_PURCHASE_EVENT));
    SetEvent(event.Get());
    if (CWnd* owner = ParentWnd()) {
        owner->EnableWindow(TRUE);
    }
    // Copied: the owner may free this dialog in the call.
    const auto accepted = yes ? m_fnPurchaseAccepted : nullptr;
    DestroyWindow();
    if (accepted) {
        accepted();
    }
}

void CMessageDlg::OnFirstButton() {
    if (m_bPurchase) {
        AnswerPurchase(true);
        return;
    }
    if (CWnd* edit = Item(IDC_FOLDER)) {
        m_strFolderPath = edit->GetWindowText();
    }
    EndDialog(IDYES);
}

void CMessageDlg::OnSecondButton() {
    if (m_bPurchase) {
        AnswerPurchase(false);
        return;
    }
    EndDialog(IDNO);
}

void CMessageDlg::OnCancel() {
    if (m_bPurchase) {
        AnswerPurchase(false);
        return;
    }
    CDialog::OnCancel();
}

void CMessageDlg::ChooseFolder() {
    CWnd* edit = Item(IDC_FOLDER);
    m_strFolderPath = edit->GetWindowText();
    const std::string directory = CurrentDirectory();
    if (const auto chosen = hv::ChooseFolder(GetWidget(), "Please choose a folder")) {
        m_strFolderPath = *chosen;
    }
    edit->SetWindowText(m_strFolderPath);
    if (!directory.empty()) {
        (void)!chdir(directory.c_str());
    }
}

BOOL CMessageDlg::PreTranslateMessage(MSG* msg) {
    if (m_bTwoButtons && msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN) {
        CWnd* focus = GetFocus();
        if (focus == &m_btnYes) {
            OnFirstButton();
        } else if (m_bFolder && focus == &m_btnBrowse) {
            ChooseFolder();
        } else if (!m_bFolder && focus == &m_btnNo) {
            OnSecondButton();
        }
        return TRUE;
    }
    return CDialog::PreTranslateMessage(msg);
}

LRESULT CMessageDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: Paint(); return 0;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDYES: OnFirstButton(); return 0;
                case IDNO: OnSecondButton(); return 0;
                case IDC_BROWSE: ChooseFolder(); return 0;
                default: break;
            }
            break;
        case WM_MOUSEMOVE:
            if (m_bHelpLink || m_bPurchase) {
                const QPoint point(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
                if (LinkHitRect().contains(point)) {
                    if (!m_savedCursor) {
                        m_savedCursor = GetWidget()->cursor();
                    }
                    GetWidget()->setCursor(Qt::PointingHandCursor);
                } else if (m_savedCursor) {
                    GetWidget()->setCursor(*m_savedCursor);
                    m_savedCursor.reset();
                }
            }
            return 0;
        case WM_LBUTTONDOWN: {
            const QPoint point(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
            if ((m_bHelpLink || m_bPurchase) && LinkHitRect().contains(point)) {
                OnLinkClicked();
                return 0;
            }
            // The top band stands in for a caption: drag the dialog by it.
            if (point.y() < 25 && GetWidget()->windowHandle()) {
                GetWidget()->windowHandle()->startSystemMove();
            }
            return 0;
        }
        default: break;
    }
    return CDialog::WindowProc(message, wParam, lParam);
}
