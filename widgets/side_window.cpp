#include "widgets/side_window.h"

#include "widgets/error_report.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

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
            centreOnScreen();
        }
    }
    QDialog::showEvent(event);
}

void SideWindow::centreOnScreen() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QSize screenSize = screen->geometry().size();
    QSize outer = frameGeometry().size();
    QPoint clientOffset;
    if (outer.width() <= width() && outer.height() <= height()) {
        // Not framed yet: the window manager frames a window only once it is shown, and keeps
        // its client where the program asked. A program's windows are framed alike, so the
        // frame of the window this one belongs to stands in for its own.
        const QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
        QMargins frame;
        if (owner && owner->isVisible()) {
            const QRect inner = owner->geometry();
            const QRect framed = owner->frameGeometry();
            frame = QMargins(inner.left() - framed.left(), inner.top() - framed.top(),
                             framed.right() - inner.right(), framed.bottom() - inner.bottom());
        }
        outer = size().grownBy(frame);
        clientOffset = QPoint(frame.left(), frame.top());
    }
    const int left = std::max(0, (screenSize.width() - outer.width()) / 2);
    const int top = std::max(0, (screenSize.height() - outer.height()) / 2);
    move(QPoint(left, top) + clientOffset);
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
    guarded([this] { FormClose(); });
    QDialog::done(result);
}

void SideWindow::reject() {
    // The close box and the system menu end a modal showing with Cancel.
    done(mrCancel);
}

} // namespace palvane
