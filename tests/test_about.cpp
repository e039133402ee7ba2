// The about box and the thanks window: layout, the keys and the close box of the about box,
// the thanks window opened on top of it, and the read-only acknowledgement text.

#include "side_windows/taboutbox.h"
#include "side_windows/tform2.h"

#include "tests/support/sandbox.h"
#include "widgets/panel.h"
#include "widgets/program_icon.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace palvane;

namespace {

// Runs action once `window` is the active modal widget. If it never becomes one, the window
// is closed after the timeout so that a failing test cannot hang in a modal loop.
void whenModal(QWidget* window, std::function<void()> action, int timeoutMs = 5000) {
    auto* poll = new QTimer;
    auto waited = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, [poll, window, action, waited, timeoutMs] {
        if (QApplication::activeModalWidget() == window) {
            poll->stop();
            poll->deleteLater();
            action();
            return;
        }
        *waited += poll->interval();
        if (*waited > timeoutMs) {
            poll->stop();
            poll->deleteLater();
            if (window->isVisible())
                window->close();
        }
    });
    poll->start(5);
}

// The key goes where the keyboard would send it: the focused control of the window.
void pressKey(QWidget* window, Qt::Key key) {
    QWidget* target = window->focusWidget() ? window->focusWidget() : window;
    QTest::keyClick(target, key);
}

} // namespace

class TestAbout : public QObject {
    Q_OBJECT

private slots:
    void aboutBoxLayout();
    void aboutBoxKeysAndCloseBox();
    void thanksOpensOnTopOfAbout();
    void thanksWindowLayout();
    void thanksTextIsReadOnlyButSelectableAndScrollable();
};

void TestAbout::aboutBoxLayout() {
    test::Sandbox sandbox;
    TAboutBox about;
    QCOMPARE(about.objectName(), QStringLiteral("AboutBox"));
    QCOMPARE(about.windowTitle(), QStringLiteral("About Palvane 32"));
    QCOMPARE(about.minimumSize(), QSize(298, 213));
    QCOMPARE(about.maximumSize(), QSize(298, 213));
    const Qt::WindowFlags flags = about.windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowSystemMenuHint));
    QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(!about.windowIcon().pixmap(32, 32).isNull());
    QVERIFY(!programIcon().pixmap(32, 32).isNull());
    QCOMPARE(about.font().family(), QStringLiteral("MS Sans Serif"));
    QCOMPARE(about.font().pixelSize(), 11);

    auto* panel = about.findChild<Panel*>(QStringLiteral("Panel1"));
    QVERIFY(panel);
    QCOMPARE(panel->geometry(), QRect(8, 8, 281, 161));
    QCOMPARE(panel->outerBevel(), Panel::Bevel::Lowered);
    QCOMPARE(panel->innerBevel(), Panel::Bevel::Raised);

    struct Title {
        const char* name;
        QString text;
        QPoint at;
    };
    for (const Title& t : {Title{"ProductName", QStringLiteral("Palvane 32"), QPoint(96, 8)},
                           Title{"Version", QStringLiteral("Version 1.3"), QPoint(103, 32)}}) {
        auto* label = panel->findChild<QLabel*>(QLatin1String(t.name));
        QVERIFY2(label, t.name);
        QCOMPARE(label->text(), t.text);
        QCOMPARE(label->pos(), t.at);
        QCOMPARE(label->font().family(), QStringLiteral("Arial"));
        QCOMPARE(label->font().pixelSize(), 13);
        QVERIFY(label->font().bold());
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(Qt::black));
        QVERIFY(label->width() >= label->sizeHint().width()); // nothing cut off
    }

    auto* icon = panel->findChild<QLabel*>(QStringLiteral("ProgramIcon"));
    QVERIFY(icon);
    QCOMPARE(icon->geometry(), QRect(122, 80, 32, 32));
    QVERIFY(icon->hasScaledContents());
    QVERIFY(!icon->pixmap().isNull());

    auto* thanks = panel->findChild<QPushButton*>(QStringLiteral("Button1"));
    QVERIFY(thanks);
    QCOMPARE(thanks->text(), QStringLiteral("Thanks to!!"));
    QCOMPARE(thanks->geometry(), QRect(64, 128, 153, 17));
    QCOMPARE(thanks->focusPolicy(), Qt::ClickFocus); // not a tab stop

    auto* ok = about.findChild<QPushButton*>(QStringLiteral("OKButton"));
    QVERIFY(ok);
    QCOMPARE(ok->parentWidget(), &about);
    QCOMPARE(ok->text(), QStringLiteral("OK"));
    QCOMPARE(ok->geometry(), QRect(111, 180, 75, 25));
    QVERIFY(ok->isDefault());
}

void TestAbout::aboutBoxKeysAndCloseBox() {
    test::Sandbox sandbox;
    TForm2 thanksWindow;
    TAboutBox about;
    about.setThanksWindow(&thanksWindow);

    // Enter presses the default button.
    whenModal(&about, [&] { pressKey(&about, Qt::Key_Return); });
    QCOMPARE(about.ShowModal(), mrOk);
    QVERIFY(about.isHidden());

    // Escape does nothing: there is no cancel button. The close box then gives Cancel.
    bool openAfterEscape = false;
    int resultAfterEscape = -1;
    whenModal(&about, [&] {
        pressKey(&about, Qt::Key_Escape);
        QTest::qWait(50);
        openAfterEscape = about.isVisible() && QApplication::activeModalWidget() == &about;
        resultAfterEscape = about.result();
        about.close();
    });
    QCOMPARE(about.ShowModal(), mrCancel);
    QVERIFY(openAfterEscape);
    QCOMPARE(resultAfterEscape, mrNone);

    // The keypad's Enter works as well, and Escape on the window itself is ignored too.
    whenModal(&about, [&] {
        QTest::keyClick(&about, Qt::Key_Escape);
        pressKey(&about, Qt::Key_Enter);
    });
    QCOMPARE(about.ShowModal(), mrOk);
    QVERIFY(thanksWindow.isHidden()); // keys never opened the thanks window
}

void TestAbout::thanksOpensOnTopOfAbout() {
    test::Sandbox sandbox;
    TForm2 thanksWindow;
    TAboutBox about;
    about.setThanksWindow(&thanksWindow);

    bool thanksOnTop = false;
    bool aboutOpenUnderneath = false;
    bool backToAbout = false;
    whenModal(&about, [&] {
        whenModal(&thanksWindow, [&] {
            thanksOnTop = thanksWindow.isVisible();
            aboutOpenUnderneath = about.isVisible();
            thanksWindow.close();
        });
        // Runs the thanks window modally and returns when it is closed.
        QTest::mouseClick(about.Button1, Qt::LeftButton);
        backToAbout = thanksWindow.isHidden() && about.isVisible() &&
                      QApplication::activeModalWidget() == &about;
        about.OKButton->click();
    });
    QCOMPARE(about.ShowModal(), mrOk);
    QVERIFY(thanksOnTop);
    QVERIFY(aboutOpenUnderneath);
    QVERIFY(backToAbout);
    QCOMPARE(thanksWindow.result(), mrCancel);

    // Without a window of its own, the button opens the process-wide thanks window; none is
    // created in this test, so the click does nothing and the about box stays as it is.
    TAboutBox lone;
    lone.show();
    lone.Button1->click();
    QVERIFY(lone.isVisible());
    lone.close();
}

void TestAbout::thanksWindowLayout() {
    test::Sandbox sandbox;
    TForm2 thanks;
    QCOMPARE(thanks.objectName(), QStringLiteral("Form2"));
    QCOMPARE(thanks.windowTitle(), QStringLiteral("Thanks to everyone for their support!! "));
    QCOMPARE(thanks.minimumSize(), QSize(421, 273));
    QCOMPARE(thanks.maximumSize(), QSize(421, 273));
    QVERIFY(!thanks.windowIcon().pixmap(32, 32).isNull());
    QVERIFY(!thanks.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));

    auto* memo = thanks.findChild<QPlainTextEdit*>(QStringLiteral("Memo1"));
    QVERIFY(memo);
    QVERIFY(memo->isReadOnly());
    QCOMPARE(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(memo->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    QCOMPARE(memo->focusPolicy(), Qt::ClickFocus); // not a tab stop
    QCOMPARE(memo->font().family(), QStringLiteral("Arial"));
    QCOMPARE(memo->font().pixelSize(), 13);
    QCOMPARE(memo->palette().color(QPalette::Text), QColor(0, 0, 128));

    // 43 lines: four of introduction, a blank, 35 entries, a blank, two of closing.
    const QStringList lines = memo->toPlainText().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 43);
    QCOMPARE(memo->document()->blockCount(), 43);
    for (int i = 0; i < 43; ++i) {
        const bool blank = i == 4 || i == 40;
        QVERIFY2(lines[i].trimmed().isEmpty() == blank, qPrintable(QString::number(i)));
    }
    QCOMPARE(memo->toPlainText(), TForm2::thanksText());

    thanks.show();
    QVERIFY(QTest::qWaitForWindowExposed(&thanks));
    QCOMPARE(memo->geometry(), thanks.rect());
    // Shown, the 43 lines stay 43: none wraps in the font the memo really gets (Arial's
    // stand-in), so the opening paragraph keeps its four lines, no word alone on a fifth.
    QStringList wrapped;
    for (QTextBlock block = memo->document()->begin(); block.isValid(); block = block.next()) {
        if (block.layout()->lineCount() > 1)
            wrapped << block.text();
    }
    QVERIFY2(wrapped.isEmpty(), qPrintable(wrapped.join(QLatin1Char('\n'))));
    thanks.close();
}

void TestAbout::thanksTextIsReadOnlyButSelectableAndScrollable() {
    test::Sandbox sandbox;
    TForm2 thanks;
    QPlainTextEdit* memo = thanks.Memo1;
    const QString text = memo->toPlainText();
    thanks.show();
    QVERIFY(QTest::qWaitForWindowExposed(&thanks));

    // Typing, deleting and pasting change nothing.
    QTest::mouseClick(memo->viewport(), Qt::LeftButton, {}, QPoint(20, 10));
    QTest::keyClicks(memo, QStringLiteral("meow"));
    QTest::keyClick(memo, Qt::Key_Delete);
    QTest::keyClick(memo, Qt::Key_Backspace);
    QTest::keyClick(memo, Qt::Key_Return);
    QTest::keyClick(memo, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(memo->toPlainText(), text);

    // The keyboard still selects.
    QTest::keyClick(memo, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(memo, Qt::Key_End, Qt::ShiftModifier);
    QCOMPARE(memo->textCursor().selectedText(), text.section(QLatin1Char('\n'), 0, 0));

    // The text is longer than the box: it scrolls.
    QScrollBar* bar = memo->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    bar->setValue(bar->maximum());
    QTextCursor cursor = memo->textCursor();
    cursor.setPosition(10);
    cursor.setPosition(30, QTextCursor::KeepAnchor);
    memo->setTextCursor(cursor);
    bar->setValue(bar->maximum());
    const int scrolled = bar->value();
    const QString selected = memo->textCursor().selectedText();

    // Scroll position and selection survive closing and reopening.
    thanks.close();
    QVERIFY(thanks.isHidden());
    thanks.show();
    QVERIFY(QTest::qWaitForWindowExposed(&thanks));
    QCOMPARE(bar->value(), scrolled);
    QCOMPARE(memo->textCursor().selectedText(), selected);
    QCOMPARE(memo->toPlainText(), text);
    thanks.close();
}

QTEST_MAIN(TestAbout)
#include "test_about.moc"
