#include "widgets/open_dialog.h"

#include <QFileDialog>
#include <QFileInfo>

#include <deque>

namespace palvane {
namespace {
std::deque<std::optional<QString>>& answers() {
    static std::deque<std::optional<QString>> a;
    return a;
}
} // namespace

OpenDialog::OpenDialog(QObject* parent) : QObject(parent) {}

bool OpenDialog::Execute(QWidget* parent) {
    std::optional<QString> chosen;
    if (!answers().empty()) {
        chosen = answers().front();
        answers().pop_front();
    } else {
        QFileDialog dialog(parent);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setNameFilter(Filter);
        if (!FileName.isEmpty()) {
            const QFileInfo info(FileName);
            dialog.setDirectory(info.absolutePath());
            dialog.selectFile(info.fileName());
        }
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            chosen = dialog.selectedFiles().constFirst();
    }
    if (!chosen)
        return false;
    FileName = QFileInfo(*chosen).absoluteFilePath();
    return true;
}

namespace open_dialog_seam {
void setNextAnswer(std::optional<QString> fileName) {
    answers().push_back(std::move(fileName));
}
void clear() {
    answers().clear();
}
} // namespace open_dialog_seam

} // namespace palvane
