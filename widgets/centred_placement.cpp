#include "widgets/centred_placement.h"

#include "widgets/window_frame.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <map>

namespace palvane {

namespace {

// The frames window managers gave, by kind of window: a fixed-size dialog and a resizable one
// are framed differently (their bottom borders differ, for one).
std::map<QString, QMargins>& rememberedFrames() {
    static std::map<QString, QMargins> frames;
    return frames;
}

QString kindOf(const QWidget* window) {
    const bool fixed = window->minimumSize() == window->maximumSize();
    return QString::number(int(window->windowType())) + (fixed ? u'f' : u'r');
}

} // namespace

QPoint centredClientPosition(const QRect& screen, const QSize& client, const QMargins& frame) {
    const QSize outer = client.grownBy(frame);
    const int left = std::max(0, (screen.width() - outer.width()) / 2);
    const int top = std::max(0, (screen.height() - outer.height()) / 2);
    return screen.topLeft() + QPoint(left + frame.left(), top + frame.top());
}

CentredPlacement::CentredPlacement(QWidget* window) : QObject(window), window_(window) {
    timer_.setInterval(kCheckMs);
    connect(&timer_, &QTimer::timeout, this, &CentredPlacement::check);
    window_->installEventFilter(this);
}

void CentredPlacement::centre() {
    window_->winId(); // the native window, so that the window manager can be asked about it
    QWindow* handle = window_->windowHandle();
    if (!handle)
        return;
    if (!window_frame::available()) {
        // Nothing to ask and nothing that could move it later: Qt's frame is the frame.
        window_->setAttribute(Qt::WA_Moved);
        const QMargins frame = handle->frameMargins();
        window_->setGeometry(QRect(target(frame, window_->size()), window_->size()));
        return;
    }
    size_ = window_->size();
    guess_ = guessFrame();
    // An explicit place: a dialog shown again stays where it was rather than being put over
    // its owner.
    window_->setAttribute(Qt::WA_Moved);
    // The client's place, not the frame's: window managers keep a client where it was asked
    // to be and draw the frame round it. Through the widget, which hands its geometry to the
    // native window when it maps it.
    window_->setGeometry(QRect(target(guess_, size_), size_));
    following_ = true;
    since_.start();
    agreed_.invalidate();
    timer_.start();
}

void CentredPlacement::release() {
    following_ = false;
    timer_.stop();
}

bool CentredPlacement::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_ && following_) {
        switch (event->type()) {
        case QEvent::Resize:
            // The program's own resizes count; the window system's report sizes the window had
            // on the way, before the window manager had carried out the program's requests.
            if (!event->spontaneous())
                size_ = window_->size();
            check();
            break;
        case QEvent::Move:
            check();
            break;
        case QEvent::Hide:
            release();
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

void CentredPlacement::check() {
    // Reading the window system can deliver events that call back here.
    if (!following_ || checking_)
        return;
    checking_ = true;
    QWindow* handle = window_->windowHandle();
    const std::optional<QRect> actual = window_frame::clientGeometry(handle);
    if (!actual) {
        checking_ = false;
        release();
        return;
    }
    const std::optional<QMargins> frame = window_frame::frameOf(handle);
    if (frame)
        remember(*frame);
    const QPoint wanted = target(frame.value_or(guess_), size_);
    if (actual->topLeft() != wanted) {
        agreed_.invalidate();
        window_frame::moveClient(handle, wanted);
    } else if (frame && !agreed_.isValid()) {
        agreed_.start();
    }
    checking_ = false;
    if ((agreed_.isValid() && agreed_.elapsed() >= kSettledMs) || since_.elapsed() > kGiveUpMs)
        release();
}

QMargins CentredPlacement::guessFrame() const {
    const QWindow* handle = window_->windowHandle();
    if (const std::optional<QMargins> own = window_frame::frameOf(handle))
        return *own;
    if (const std::optional<QMargins> promised = window_frame::requestFrame(handle))
        return *promised;
    const auto& frames = rememberedFrames();
    if (const auto same = frames.find(kindOf(window_)); same != frames.end())
        return same->second;
    for (const QWidget* other : QApplication::topLevelWidgets())
        if (other != window_ && other->isVisible())
            if (const std::optional<QMargins> frame = window_frame::frameOf(other->windowHandle()))
                return *frame;
    return QMargins();
}

QPoint CentredPlacement::target(const QMargins& frame, const QSize& size) const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return window_->geometry().topLeft();
    return centredClientPosition(screen->geometry(), size, frame);
}

void CentredPlacement::remember(const QMargins& frame) const {
    rememberedFrames()[kindOf(window_)] = frame;
}

} // namespace palvane
