#include "side_windows/tform2.h"

#include "widgets/program_icon.h"

#include <QFont>
#include <QPalette>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTextOption>
#include <QVBoxLayout>

TForm2::TForm2(QWidget* parent) : palvane::SideWindow(parent) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Thanks to everyone for their support!! "));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(421, 273);
    setWindowIcon(palvane::programIcon());

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(13);
    Memo1->setFont(font);
    QPalette palette = Memo1->palette();
    palette.setColor(QPalette::Text, QColor(0, 0, 128)); // navy
    Memo1->setPalette(palette);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    Memo1->setPlainText(thanksText());
    // Read-only, yet the text can still be selected and copied, with the mouse or the keys.
    Memo1->setReadOnly(true);
    Memo1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // Not a tab stop; it holds the window's focus from the start all the same, so the keys
    // scroll and select the text without a click first.
    Memo1->setFocusPolicy(Qt::ClickFocus);
    Memo1->setFocus(Qt::OtherFocusReason);
    Memo1->setAccessibleName(QStringLiteral("Thanks list"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Memo1);
}

QString TForm2::thanksText() {
    static const QStringList lines{
        QStringLiteral("Palvane 32 would not be what it is without the help of a great many"),
        QStringLiteral("people. Some tried it when it could barely open its own table, some"),
        QStringLiteral("told us all that was wrong with it, and some simply kept asking"),
        QStringLiteral("for the next version. This list is for all of you:"),
        QString(),
        QStringLiteral("The testers who ran every beta and lived to tell the tale"),
        QStringLiteral("Everyone who sent in a bug report, however short"),
        QStringLiteral("The bug reporters who told us how to make it happen again"),
        QStringLiteral("The translators who asked what half of our messages meant"),
        QStringLiteral("The regulars of the IRC channels where it was first tried out"),
        QStringLiteral("The channel operators who let us talk about it on their channels"),
        QStringLiteral("The people who lent their nicks to the demo table"),
        QStringLiteral("The packagers who made it easy to install"),
        QStringLiteral("The mirror hosts who kept the downloads up"),
        QStringLiteral("The writers of the first user guide"),
        QStringLiteral("Everyone who asked for a world clock until we built one"),
        QStringLiteral("The night owls who found the clock was wrong at midnight"),
        QStringLiteral("The travellers who checked the clock in every time zone"),
        QStringLiteral("The cat owners who sent pictures for testing"),
        QStringLiteral("The users who kept their address books through every upgrade"),
        QStringLiteral("The proof-readers of the help text"),
        QStringLiteral("The helpers in the support channel"),
        QStringLiteral("Everyone who answered a newcomer's question before we could"),
        QStringLiteral("The authors of the tools the program is built with"),
        QStringLiteral("The artists who drew and redrew the icon"),
        QStringLiteral("The reviewers who wrote kind words about it"),
        QStringLiteral("The reviewers who wrote unkind words, and were right"),
        QStringLiteral("The testers on very old machines"),
        QStringLiteral("The testers on very new machines"),
        QStringLiteral("Our families, for their patience"),
        QStringLiteral("The people who stayed up late to try a release"),
        QStringLiteral("The people who asked for a feature and then helped build it"),
        QStringLiteral("Everyone who filled in the survey"),
        QStringLiteral("The teachers who showed it to their classes"),
        QStringLiteral("The server admins who kept the networks running"),
        QStringLiteral("The people who spread the word on other networks"),
        QStringLiteral("The spotters of typos (we kept a few on purpose)"),
        QStringLiteral("The chicken enthusiasts of the channel"),
        QStringLiteral("The cat, for the inspiration"),
        QStringLiteral("And everyone we have forgotten to mention"),
        QString(),
        QStringLiteral("Thank you all: every version of this program owes something to you."),
        QStringLiteral("Keep meowing, and see you on IRC!"),
    };
    return lines.join(QLatin1Char('\n'));
}
