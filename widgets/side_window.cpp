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
            // Centred on an estimated frame; the window's own frame corrects it once the
            // window manager has put it on (a resizable window's borders differ from those of
            // the window it belongs to).
            awaitingFrame_ = true;
        }
    }
    QDialog::showEvent(event);
}

bool SideWindow::event(QEvent* event) {
    const bool handled = QDialog::event(event);
    // No event announces the frame; it is there by the first paint after mapping at the latest.
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Paint:
    case QEvent::WindowActivate:
        adoptOwnFrame();
        break;
    default:
        break;
    }
    return handled;
}

void SideWindow::adoptOwnFrame() {
    if (!awaitingFrame_ || !isFramed())
        return;
    awaitingFrame_ = false;
    // A window the user has already moved stays where it is.
    if (geometry().topLeft() == placedClient_ || frameGeometry().topLeft() == placedFrame_)
        centreOnScreen();
}

bool SideWindow::isFramed() const {
    const QSize outer = frameGeometry().size();
    return outer.width() > width() || outer.height() > height();
}

void SideWindow::centreOnScreen() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QSize screenSize = screen->geometry().size();
    QSize outer = frameGeometry().size();
    QPoint clientOffset;
    if (!isFramed()) {
        // Not framed yet: the window manager frames a window only once it is shown, and keeps
        // its client where the program asked. Until the window's own frame is known, the frame
        // of the window it belongs to stands in for it.
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
    placedFrame_ = QPoint(left, top);
    placedClient_ = placedFrame_ + clientOffset;
    move(placedClient_);
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
    awaitingFrame_ = false; // where the window is now is where the user left it
    guarded([this] { FormClose(); });
    QDialog::done(result);
}

void SideWindow::reject() {
    // The close box and the system menu end a modal showing with Cancel.
    done(mrCancel);
}

} // namespace palvane
