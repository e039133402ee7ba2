#include "side_windows/taboutbox.h"

#include "side_windows/tform2.h"
#include "widgets/error_report.h"
#include "widgets/panel.h"
#include "widgets/program_icon.h"

#include <QFont>
#include <QKeySequence>
#include <QLabel>
#include <QPalette>
#include <QPushButton>

namespace {

QFont pixelFont(const QString& family, int pixels, bool bold = false) {
    QFont font(family);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QLabel* makeTitleLabel(const QString& name, const QString& text, QWidget* parent, int x, int y) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setFont(pixelFont(QStringLiteral("Arial"), 13, true));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(palette);
    label->move(x, y);
    label->adjustSize();
    return label;
}

} // namespace

TAboutBox::TAboutBox(QWidget* parent) : palvane::SideWindow(parent) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About Palvane 32"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(298, 213);
    setWindowIcon(palvane::programIcon());
    setFont(pixelFont(QStringLiteral("MS Sans Serif"), 11));

    Panel1 = new palvane::Panel(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(8, 8, 281, 161);
    Panel1->setBevels(palvane::Panel::Bevel::Lowered, palvane::Panel::Bevel::Raised);

    ProductName =
        makeTitleLabel(QStringLiteral("ProductName"), QStringLiteral("Palvane 32"), Panel1, 96, 8);
    Version =
        makeTitleLabel(QStringLiteral("Version"), QStringLiteral("Version 1.3"), Panel1, 103, 32);

    ProgramIcon = new QLabel(Panel1);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setGeometry(122, 80, 32, 32);
    ProgramIcon->setScaledContents(true);
    ProgramIcon->setPixmap(palvane::programIcon().pixmap(32, 32));
    ProgramIcon->setAccessibleName(QStringLiteral("Program icon"));
    ProgramIcon->setAccessibleDescription(QStringLiteral("The icon of Palvane 32"));

    Button1 = new QPushButton(QStringLiteral("Thanks to!!"), Panel1);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(64, 128, 153, 17);
    Button1->setFont(pixelFont(QStringLiteral("MS Sans Serif"), 11));
    // Not a tab stop, but a click still gives it the focus.
    Button1->setFocusPolicy(Qt::ClickFocus);
    // No tab stop and no mnemonic in its caption, so the keyboard reaches it with Alt+T.
    Button1->setShortcut(QKeySequence(Qt::ALT | Qt::Key_T));

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(111, 180, 75, 25);
    OKButton->setDefault(true);
    OKButton->setFocus();

    connectHandlers();
}

void TAboutBox::connectHandlers() {
    connect(Button1, &QPushButton::clicked, this, palvane::handler(this, &TAboutBox::Button1Click));
    connect(OKButton, &QPushButton::clicked, this, [this] { setModalResult(palvane::mrOk); });
}

void TAboutBox::Button1Click() {
    // The window set gives the about box its thanks window at start-up.
    if (thanksWindow_)
        thanksWindow_->ShowModal();
}
