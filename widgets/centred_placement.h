#pragma once
// How every window of the program but the main window is placed: centred on the screen with its
// frame, left = (screen width - window width) / 2 and top = (screen height - window height) / 2
// (the frame counted in, each raised to 0, the primary screen's origin added).
//
// The frame is a window manager's, and it draws it only once the window is mapped. So before
// mapping the window is placed by the frame the window manager says it will give it, or else by
// the frame it gave the last window of the same kind; once mapped, the real frame and the real
// position are read from the window system and the window is placed again until both agree
// with the centre. No jump is visible unless the first guess was wrong.
//
// Lifecycle: idle -> centre() (from the window's show event, once its size is final) ->
// following (checks on every move, resize and a short timer) -> settled or release() -> idle.

#include <QElapsedTimer>
#include <QMargins>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QTimer>

class QWidget;

namespace palvane {

// Where the client area goes when a window of that client size, framed by frame, is centred on
// a screen with that geometry.
QPoint centredClientPosition(const QRect& screen, const QSize& client, const QMargins& frame);

class CentredPlacement : public QObject {
    Q_OBJECT

public:
    // Belongs to window, a top-level widget.
    explicit CentredPlacement(QWidget* window);

    // Centres the window now and keeps it centred until the window manager has framed and
    // placed it.
    void centre();
    // Leaves the window where it is from now on.
    void release();
    bool following() const { return following_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void check();
    QMargins guessFrame() const;
    QPoint target(const QMargins& frame, const QSize& size) const;
    void remember(const QMargins& frame) const;

    // How often a following window looks again, and for how long at most.
    static constexpr int kCheckMs = 20;
    static constexpr int kGiveUpMs = 10000;
    // How long position and frame must hold before the window counts as settled.
    static constexpr int kSettledMs = 150;

    QWidget* window_;
    QTimer timer_;
    QElapsedTimer since_;
    QElapsedTimer agreed_; // valid while the window has been where it belongs
    QMargins guess_;
    QSize size_; // the client size the program gave the window
    bool following_ = false;
    bool checking_ = false;
};

} // namespace palvane
