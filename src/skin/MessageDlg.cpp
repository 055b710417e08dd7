#include "skin/MessageDlg.h"

#include "ui/MessageBox.h"

INT_PTR CMessageDlg::DoModal(CWnd* parent) {
    const UINT type = (m_nFlags & MSGDLG_TWO_BUTTONS) ? MB_YESNO : MB_OK;
    return MessageBoxA(parent ? parent->GetSafeHwnd() : nullptr, m_strText.c_str(),
                       m_strTitle.c_str(), type);
}
