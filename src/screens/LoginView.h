// The login screen: user name and password.
#pragma once

#include <string>

#include "screens/BaseView.h"

class CLoginView : public CBaseView {
  public:
    CLoginView() : CBaseView(102) {}

    // Trailing white space removed.
    std::string GetUserName() const;
    std::string GetPassword() const { return m_strPassword; }
    void SetUserName(const std::string& name) { m_strUserName = name; }
    void SetPassword(const std::string& password) { m_strPassword = password; }

  private:
    std::string m_strUserName;
    std::string m_strPassword;
};
