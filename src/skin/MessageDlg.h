// The client's message dialog: a text with one or two buttons.
#pragma once

#include <string>

#include "ui/Wnd.h"

enum MessageDlgFlags : UINT {
    MSGDLG_TWO_BUTTONS = 0x01,
    MSGDLG_DEFAULT_FIRST = 0x02,
    MSGDLG_HELP_LINK = 0x04,
};

class CMessageDlg {
  public:
    CMessageDlg(const std::string& text, const std::string& title, UINT flags, long errorCode = 0)
        : m_strText(text), m_strTitle(title), m_nFlags(flags), m_lErrorCode(errorCode) {}

    // IDOK for the single button; IDYES or IDNO for two.
    INT_PTR DoModal(CWnd* parent);

  private:
    std::string m_strText;
    std::string m_strTitle;
    UINT m_nFlags;
    long m_lErrorCode;
};
