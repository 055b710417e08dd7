#include "shell/Shell.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QUrl>

namespace hv {

bool OpenInBrowser(const std::string& address) {
    return QDesktopServices::openUrl(QUrl(QString::fromStdString(address)));
}

std::optional<std::string> ChooseFolder(QWidget* owner, const std::string& title) {
    QFileDialog dialog(owner, QString::fromStdString(title));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    // Qt's own dialog: the same on every desktop, and scriptable in tests.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setDirectory(QDir::rootPath());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return QDir::toNativeSeparators(dialog.selectedFiles().front()).toStdString();
}

}  // namespace hv
