// CMessageDlg: the one message dialog of the client. A title, a message and
// one or two skinned buttons; optionally a help link, the purchase form with
// its terms link, or a folder entry with a folder chooser.
#pragma once

#include <QCursor>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "skin/AniButton.h"
#include "ui/Dialog.h"

class CMessageDlg : public CDialog {
  public:
    static constexpr UINT kTemplateId = 151;
    static constexpr const char* kBuiltInErrorInfoUrl = "https://support.halvory.com/errorinfo.htm";

    explicit CMessageDlg(CWnd* parent = nullptr);
    ~CMessageDlg() override;

    void SetMessage(const std::string& message) { m_strMessage = message; }
    void SetTitle(const std::string& title) { m_strTitle = title; }

    // Options, set between construction and showing.
    int m_bHelpLink = 0;
    int m_bTwoButtons = 0;
    int m_bFirstDefault = 0;
    int m_bPurchase = 0;
    int m_bFolder = 0;
    int m_bYesNo = 0;
    int32_t m_lErrorCode = 0;
    std::string m_strFolderPath;

    // Set by the owner, which the dialog never reaches on its own: the error
    // help page (empty: the built-in one), what the purchase form's terms link
    // opens, and what follows a Yes to the purchase.
    std::string m_strErrorInfoUrl;
    std::function<void()> m_fnShowTerms;
    std::function<void()> m_fnPurchaseAccepted;

    // The address the help link opens.
    std::string HelpAddress() const;
    // In dialog client coordinates.
    QRect LinkHitRect() const;

    BOOL PreTranslateMessage(MSG* msg) override;

    // The purchase form's answer: sets the matching named event the engine
    // waits on, enables the owner and destroys the window.
    void AnswerPurchase(bool yes);

  protected:
    BOOL OnInitDialog() override;
    // Escape and closing mean No: the engine must hear an answer.
    void OnCancel() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void Resize();
    void Paint();
    void OnLinkClicked();
    void OnFirstButton();
    void OnSecondButton();
    void ChooseFolder();
    CWnd* Item(int id) const { return GetDlgItem(id); }

    std::string m_strMessage;
    std::string m_strTitle;
    int m_nLinkWidth = 0;
    int m_nLinkHeight = 0;
    std::optional<QCursor> m_savedCursor;
    CAniButton m_btnOk;
    CAniButton m_btnYes;
    CAniButton m_btnNo;
    CAniButton m_btnBrowse;
};
