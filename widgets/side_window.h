#pragma once
// Base of the five side windows. They are created once at start-up, shown modally with
// ShowModal() and only hidden again when closed, so they keep their state between showings.
// A window is centred on the screen at its first showing only, after its show handler has
// run and with the size that handler gave it; later showings keep where the user left it.
// Until the window manager has framed the window, its frame is estimated from the owner's;
// once its own frame is known it is centred again with that.
//
// States: hidden -> (ShowModal) shown with a nested event loop -> (a modal result other than
// mrNone, the close box, or the application quitting) hidden again. The other windows are
// disabled while it is shown. An error escaping the show or close handler is reported and
// does not stop the window from opening or closing.

#include <QDialog>
#include <QMargins>
#include <QTimer>

class QPushButton;

namespace palvane {

// Modal results as the windows use them.
inline constexpr int mrNone = 0;
inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;

class SideWindow : public QDialog {
    Q_OBJECT

public:
    explicit SideWindow(QWidget* parent = nullptr);

    // Shows the window modally and returns its modal result (the close box gives mrCancel).
    int ShowModal();
    // Ends the modal showing with the given result (buttons with a modal result call this).
    void setModalResult(int result);
    // The button that Escape presses; without one, Escape does nothing.
    void setCancelButton(QPushButton* button);
    bool everShown() const { return everShown_; }

protected:
    // Show and close handlers; errors escaping them are reported and the window is shown
    // (or closed) all the same.
    virtual void FormShow() {}
    virtual void FormClose() {}

    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void done(int result) override;
    void reject() override;

private:
    // The frame round a window as the window manager drew it; none before it is framed.
    static QMargins frameOf(const QWidget* window);
    // Where the client area goes when the window, framed with frame, is centred on the screen.
    QPoint centredClient(const QMargins& frame) const;
    void adoptOwnFrame();

    // How often, and for how long, a window centred on an estimate looks for its own frame.
    static constexpr int kFrameCheckMs = 20;
    static constexpr int kMaxFrameChecks = 50;

    bool everShown_ = false;
    bool awaitingFrame_ = false; // centred on an estimated frame, the real one not seen yet
    QPoint placedClient_;        // where that centring put the client area
    QTimer frameCheck_;
    int frameChecks_ = 0;
    QPushButton* cancelButton_ = nullptr;
};

} // namespace palvane
