// The desktop around the client: the user's browser and folder chooser.
#pragma once

#include <optional>
#include <string>

class QWidget;

namespace hv {

// Opens the address in the user's default browser.
bool OpenInBrowser(const std::string& address);
// The folder chooser; nullopt when the user cancels.
std::optional<std::string> ChooseFolder(QWidget* owner, const std::string& title);

}  // namespace hv
