// The login screen: user name and password, Login and Cancel. At start-up
// it also runs the service's discovery and the upgrade check.
#pragma once

#include <string>

#include "screens/BaseView.h"
#include "skin/AniButton.h"
#include "skin/Panel.h"
#include "skin/TBStatic.h"
#include "skin/TeEdit.h"
#include "winapi/Thread.h"

class CLoginView : public CBaseView {
  public:
    static constexpr UINT kTemplateId = 102;
    static constexpr UINT kUserNameId = 1000;
    static constexpr UINT kPasswordId = 1001;
    static constexpr UINT kUserNameLabelId = 1002;
    static constexpr UINT kPasswordLabelId = 1003;
    static constexpr UINT kLoginId = 1004;
    static constexpr UINT kCancelId = 1088;
    static constexpr UINT kPanelId = 1028;
    static constexpr UINT kTopBarId = 1029;
    static constexpr UINT kBottomBarId = 1030;
    static constexpr UINT kSpareId = 1113;
    static constexpr int kMaxText = 32;
    static constexpr DWORD kStartupDelayMs = 100;

    CLoginView();
    ~CLoginView() override;

    void OnInitialUpdate() override;
    void ArrangeControls(BOOL rebuild) override;
    BOOL PreTranslateMessage(MSG* msg) override;

    // The user-name box without its trailing white space.
    std::string GetUserName() const;
    // The password the last Login action took.
    std::string GetPassword() const { return m_strPassword; }
    void SetUserName(const std::string& name);
    void SetPassword(const std::string& password);
    // Takes the password box's text, without its trailing white space, as the
    // password to log in with, and empties the box.
    void CapturePassword();

    CTeEdit& UserNameBox() { return m_editUserName; }
    CTeEdit& PasswordBox() { return m_editPassword; }
    CAniButton& LoginButton() { return m_btnLogin; }
    CAniButton& CancelButton() { return m_btnCancel; }
    CPanel& Panel() { return m_panel; }

  protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void OnLogin();
    void OnCancel();
    void OnKeyDown(WPARAM key, LPARAM data);
    void OnCheckUpgrade();
    void OnRunStartupCheck();
    // The inputs a posted Login click leaves disabled until it has run.
    void EnableInputs(BOOL enable);

    CPanel m_panel;
    CAniButton m_btnLogin;
    CAniButton m_btnCancel;
    CTeEdit m_editUserName;
    CTeEdit m_editPassword;
    CTBStatic m_topBar;
    CTBStatic m_bottomBar;
    int m_bLoginPosted = 0;
    int m_bCancelPosted = 0;
    std::string m_strPassword;
    hv::Thread m_startupDelay;
};
