#include "screens/LoginView.h"

std::string CLoginView::GetUserName() const {
    const size_t end = m_strUserName.find_last_not_of(" \t\r\n\v\f");
    return end == std::string::npos ? std::string() : m_strUserName.substr(0, end + 1);
}
