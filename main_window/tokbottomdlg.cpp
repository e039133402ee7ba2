#include "main_window/tokbottomdlg.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

namespace {

QFont fontOf(const QString& family, int points, bool bold) {
    QFont font(family);
    font.setPointSize(points);
    font.setBold(bold);
    return font;
}

} // namespace

TOKBottomDlg::TOKBottomDlg(QWidget* parent) : palvane::SideWindow(parent) {
    setObjectName(QStringLiteral("OKBottomDlg"));
    setWindowTitle(QStringLiteral("You want to nuke the record?"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(333, 219);
    setFont(fontOf(QStringLiteral("MS Sans Serif"), 8, false));

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameShape(QFrame::Box);
    Bevel1->setFrameShadow(QFrame::Sunken);
    Bevel1->setGeometry(8, 8, 313, 169);

    Label1 = new QLabel(QStringLiteral("You have selected to delete the current record."), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(fontOf(QStringLiteral("Arial"), 10, true));
    Label1->setStyleSheet(QStringLiteral("color: black"));
    Label1->move(16, 64);
    Label1->adjustSize();

    Label2 = new QLabel(QStringLiteral("Are you sure?"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setFont(fontOf(QStringLiteral("MS Sans Serif"), 10, true));
    Label2->setStyleSheet(QStringLiteral("color: navy"));
    Label2->move(120, 96);
    Label2->adjustSize();

    OKBtn = new QPushButton(QStringLiteral("Yes"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setGeometry(79, 180, 75, 25);
    OKBtn->setDefault(true);
    OKBtn->setAutoDefault(true);

    CancelBtn = new QPushButton(QStringLiteral("No"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setGeometry(159, 180, 75, 25);
    // The focused push button takes Enter, so the default moves with the focus: Enter on "No"
    // answers No.
    CancelBtn->setAutoDefault(true);
    setCancelButton(CancelBtn);

    connect(OKBtn, &QPushButton::clicked, this, [this] { setModalResult(palvane::mrOk); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { setModalResult(palvane::mrCancel); });
}

void TOKBottomDlg::showEvent(QShowEvent* event) {
    // The dialog is only hidden between showings and would come back with the focus where the
    // last answer left it; each showing starts on "Yes", as a newly made dialog does.
    if (!event->spontaneous())
        OKBtn->setFocus(Qt::OtherFocusReason);
    palvane::SideWindow::showEvent(event);
}
