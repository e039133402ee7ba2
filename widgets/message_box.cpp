#include "widgets/message_box.h"

#include "widgets/error_report.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QShowEvent>
#include <QWindow>

#include <algorithm>
#include <memory>

namespace palvane {
namespace {

std::function<void(const ShownBox&)>& hook() {
    static std::function<void(const ShownBox&)> h;
    return h;
}

std::vector<ShownBox>& log() {
    static std::vector<ShownBox> l;
    return l;
}

// The frame round a window as the window manager drew it; none before it is framed.
QMargins frameOf(const QWidget* window) {
    const QWindow* handle = window->windowHandle();
    return handle ? handle->frameMargins() : QMargins();
}

// The frame a window manager will give the box: that of a framed window of the program. Boxes
// and the main window are all fixed in size, and a window manager frames those alike.
QMargins expectedFrame(const QWidget* preferred) {
    if (preferred && preferred->isVisible() && !frameOf(preferred).isNull())
        return frameOf(preferred);
    for (const QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible() && !frameOf(window).isNull())
            return frameOf(window);
    return QMargins();
}

// A message box centred on the screen with its frame. Its size is final only once it is
// shown (it lays a wrapping text out again then), and a window manager frames it only after
// that: it is placed when shown, with the frame a framed window of the program has, and placed
// again by its own frame once that is known, should the two differ.
class CentredBox : public QMessageBox {
public:
    CentredBox(Icon icon, const QString& caption, const QString& text, const QWidget* framedPeer)
        : QMessageBox(icon, caption, text, QMessageBox::Ok), framedPeer_(framedPeer) {}

protected:
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);
        const QMargins own = frameOf(this);
        placedByOwnFrame_ = !own.isNull();
        place(placedByOwnFrame_ ? own : expectedFrame(framedPeer_));
    }

    bool event(QEvent* event) override {
        const bool handled = QMessageBox::event(event);
        const QEvent::Type type = event->type();
        if (!placedByOwnFrame_ && isVisible() &&
            (type == QEvent::Move || type == QEvent::Resize || type == QEvent::WindowActivate)) {
            const QMargins own = frameOf(this);
            if (!own.isNull()) {
                placedByOwnFrame_ = true;
                place(own);
            }
        }
        return handled;
    }

private:
    // Puts the client area where it lies when the box, framed with frame, is centred.
    void place(const QMargins& frame) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        if (!screen || !windowHandle())
            return;
        const QRect area = screen->geometry();
        const QSize outer = size().grownBy(frame);
        const QPoint client(
            area.x() + std::max(0, (area.width() - outer.width()) / 2) + frame.left(),
            area.y() + std::max(0, (area.height() - outer.height()) / 2) + frame.top());
        if (client != geometry().topLeft())
            windowHandle()->setPosition(client);
    }

    const QWidget* framedPeer_;
    bool placedByOwnFrame_ = false;
};

void showBox(BoxKind kind, const QString& caption, const QString& text) {
    if (hook()) {
        hook()(ShownBox{kind, caption, text});
        return;
    }
    QWidget* previous = QApplication::activeWindow();
    CentredBox box(kind == BoxKind::Information ? QMessageBox::Information : QMessageBox::Critical,
                   caption, text, previous);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
    if (previous)
        previous->activateWindow();
}

} // namespace

void showInformation(const QString& text) {
    showBox(BoxKind::Information, QStringLiteral("Information"), text);
}

void showErrorBox(const QString& text) {
    showBox(BoxKind::Error, QString::fromLatin1(kApplicationTitle), text);
}

namespace message_box_seam {
void install(std::function<void(const ShownBox&)> h) {
    hook() = std::move(h);
}
void uninstall() {
    hook() = nullptr;
}
std::vector<ShownBox>& recordAll() {
    log().clear();
    hook() = [](const ShownBox& b) { log().push_back(b); };
    return log();
}
} // namespace message_box_seam

} // namespace palvane
