#pragma once
// Base of the five side windows. They are created once at start-up, shown modally with
// ShowModal() and only hidden again when closed, so they keep their state between showings.
// A window is centred on the screen at its first showing only, after its show handler has
// run and with the size that handler gave it (CentredPlacement); later showings keep where the
// user left it.
//
// States: hidden -> (ShowModal) shown with a nested event loop -> (a modal result other than
// mrNone, the close box, or the application quitting) hidden again. The other windows are
// disabled while it is shown. An error escaping the show or close handler is reported and
// does not stop the window from opening or closing.

#include "widgets/centred_placement.h"

#include <QDialog>

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
    void keyPressEvent(QKeyEvent* event) override;
    void done(int result) override;
    void reject() override;

private:
    bool everShown_ = false;
    CentredPlacement placement_{this};
    QPushButton* cancelButton_ = nullptr;
};

} // namespace palvane
