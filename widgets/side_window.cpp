#include "widgets/side_window.h"

#include "widgets/error_report.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QWindow>

#include <algorithm>

namespace palvane {

SideWindow::SideWindow(QWidget* parent) : QDialog(parent) {
    setModal(true);
    frameCheck_.setSingleShot(true);
    frameCheck_.setInterval(kFrameCheckMs);
    connect(&frameCheck_, &QTimer::timeout, this, &SideWindow::adoptOwnFrame);
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
            // Not framed yet: the window manager frames a window only once it is shown, and
            // keeps its client where the program asked. Until the window's own frame is known,
            // the frame of the window it belongs to stands in for it; the own frame then
            // corrects the estimate (a resizable window's borders differ from a fixed one's).
            const QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
            const QMargins own = frameOf(this);
            const QMargins estimate =
                own.isNull() && owner && owner->isVisible() ? frameOf(owner) : own;
            placedClient_ = centredClient(estimate);
            // A window that has a frame is moved by its frame's corner, one without by its
            // client's.
            move(placedClient_ - QPoint(own.left(), own.top()));
            awaitingFrame_ = own.isNull();
            frameChecks_ = 0;
        }
    }
    QDialog::showEvent(event);
}

bool SideWindow::event(QEvent* event) {
    const bool handled = QDialog::event(event);
    // No event announces the frame: look at these, and for a while after the first showing.
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
    if (!awaitingFrame_ || !isVisible())
        return;
    const QMargins frame = frameOf(this);
    if (frame.isNull()) {
        if (!frameCheck_.isActive() && frameChecks_ < kMaxFrameChecks) {
            ++frameChecks_;
            frameCheck_.start();
        }
        return;
    }
    awaitingFrame_ = false;
    // A window the user has already moved stays where it is.
    if (geometry().topLeft() != placedClient_)
        return;
    const QPoint client = centredClient(frame);
    if (client != placedClient_ && windowHandle())
        windowHandle()->setPosition(client);
}

QMargins SideWindow::frameOf(const QWidget* window) {
    const QWindow* handle = window->windowHandle();
    return handle ? handle->frameMargins() : QMargins();
}

QPoint SideWindow::centredClient(const QMargins& frame) const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return pos();
    const QSize screenSize = screen->geometry().size();
    const QSize outer = size().grownBy(frame);
    const int left = std::max(0, (screenSize.width() - outer.width()) / 2);
    const int top = std::max(0, (screenSize.height() - outer.height()) / 2);
    return QPoint(left + frame.left(), top + frame.top());
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
