#include "widgets/side_window.h"

#include "widgets/error_report.h"

#include <QKeyEvent>
#include <QPushButton>

namespace palvane {

SideWindow::SideWindow(QWidget* parent) : QDialog(parent) {
    setModal(true);
}

int SideWindow::ShowModal() {
    return exec();
}

void SideWindow::setModalResult(int result) {
    done(result);
}

void SideWindow::setCancelButton(QPushButton* button) {
    cancelButton_ = button;
}

void SideWindow::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        guarded([this] { FormShow(); });
        if (!everShown_) {
            everShown_ = true;
            placement_.centre();
        }
    }
    QDialog::showEvent(event);
}

void SideWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        if (cancelButton_ && cancelButton_->isEnabled())
            cancelButton_->click();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void SideWindow::done(int result) {
    placement_.release(); // where the window is now is where the user left it
    guarded([this] { FormClose(); });
    QDialog::done(result);
}

void SideWindow::reject() {
    // The close box and the system menu end a modal showing with Cancel.
    done(mrCancel);
}

} // namespace palvane
