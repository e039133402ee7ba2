#pragma once
// The about box: the program's name, version and icon, a button that opens the thanks window,
// and OK. Enter presses OK (modal result OK); Escape does nothing, since there is no cancel
// button; the close box gives Cancel.
//
// Controls (object names are fixed; tests find them by name):
//   Panel1        framed area holding the next four controls
//   ProductName   "Palvane 32"
//   Version       "Version 1.3"
//   ProgramIcon   the program's icon, stretched to 32 by 32
//   Button1       "Thanks to!!": opens the thanks window (Button1Click); not a tab stop
//   OKButton      "OK", the default button

#include "widgets/side_window.h"

class QLabel;
class QPushButton;
class TForm2;

namespace palvane {
class Panel;
} // namespace palvane

class TAboutBox : public palvane::SideWindow {
    Q_OBJECT

public:
    explicit TAboutBox(QWidget* parent = nullptr);

    // Shows the thanks window modally on top of the about box; its result is not used.
    void Button1Click();
    // The thanks window Button1 opens (Form2, given at start-up).
    void setThanksWindow(TForm2* window) { thanksWindow_ = window; }

    palvane::Panel* Panel1 = nullptr;
    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    QLabel* ProgramIcon = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* OKButton = nullptr;

private:
    void connectHandlers();

    TForm2* thanksWindow_ = nullptr;
};
