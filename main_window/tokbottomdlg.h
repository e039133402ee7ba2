#pragma once
// The delete confirmation: "Yes" (default, Enter) gives mrOk, "No" (Escape) and the close box
// give mrCancel. Only mrOk deletes. Enter presses the focused button (the default follows the
// focus); every showing starts with the focus on "Yes".
//
// Controls: Bevel1 frame; Label1 and Label2 the question; OKBtn "Yes"; CancelBtn "No".

#include "widgets/side_window.h"

class QFrame;
class QLabel;
class QPushButton;

class TOKBottomDlg : public palvane::SideWindow {
    Q_OBJECT

public:
    explicit TOKBottomDlg(QWidget* parent = nullptr);

    QFrame* Bevel1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
};
