#pragma once
// The thanks window: a read-only, scrollable acknowledgement text. It has no buttons and is
// closed through its close box; its scroll position and selection stay between showings.
//
// Controls (object names are fixed; tests find them by name):
//   Memo1   the acknowledgement text, filling the whole client area

#include "widgets/side_window.h"

class QPlainTextEdit;

class TForm2 : public palvane::SideWindow {
    Q_OBJECT

public:
    explicit TForm2(QWidget* parent = nullptr);

    // The acknowledgement shown in Memo1, one entry per line.
    static QString thanksText();

    QPlainTextEdit* Memo1 = nullptr;
};
