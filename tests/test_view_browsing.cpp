// Previous and Next on the View tab: they follow nick order once the search has run, write the
// nick into the search box (which searches it again, so that of two equal nicks the first is
// found), show the picture, and stand still at either end.

#include "main_window/tform1.h"

#include "core/time_displacement.h"
#include "main_window/db_controls.h"
#include "side_windows/picture_box.h"
#include "store/table.h"
#include "tests/support/main_window_fixture.h"
#include "tests/support/sandbox.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

using namespace palvane;
using palvane::test::contact;
using palvane::test::MainWindowFixture;
using palvane::test::Sandbox;

namespace {

double days(int hours) {
    return toReal48(hours / 24.0);
}

QLineEdit* focusSearchBox(TForm1* form) {
    form->activateWindow();
    QApplication::setActiveWindow(form);
    form->Edit1->setFocus();
    return form->Edit1;
}

// What the View tab shows of the current contact, in one line for readable failures.
QString view(const TForm1* form) {
    return QStringLiteral("%1 | %2 | row %3 | %4 h")
        .arg(form->Edit1->text(), form->DBEdit1->text())
        .arg(form->Table1->currentRowId())
        .arg(form->TimeDisplacement() * 24.0, 0, 'f', 1);
}

QString expected(const QString& box, const QString& name, qint64 row, int hours) {
    return QStringLiteral("%1 | %2 | row %3 | %4 h")
        .arg(box, name)
        .arg(row)
        .arg(double(days(hours) * 24.0), 0, 'f', 1);
}

// Rows in natural order; nick order is alpha(3), bob(2), bob(4), carl(1), dave(5).
void createFriends(Sandbox& sandbox, const QString& davesPicture) {
    auto carl = contact(QStringLiteral("carl"), QStringLiteral("Carl"), 3);
    carl.email = QStringLiteral("carl@example.org");
    carl.location = QStringLiteral("Turku");
    carl.notes = QStringLiteral("Met on #palvane.");
    sandbox.createTable({carl, contact(QStringLiteral("bob"), QStringLiteral("Bob One"), 1),
                         contact(QStringLiteral("alpha"), QStringLiteral("Alpha"), -2),
                         contact(QStringLiteral("bob"), QStringLiteral("Bob Two"), 7),
                         contact(QStringLiteral("dave"), QStringLiteral("Dave"), 5, davesPicture)});
}

} // namespace

class TestViewBrowsing : public QObject {
    Q_OBJECT

private slots:
    void stepsInNickOrderAndStopsAtTheEnds();
    void equalNicksAreSearchedAgain();
    void nicksDifferingInCaseAreBothReached();
    void notesFollowTheContactFromTheirBeginning();
    void backspaceInTheBoxStopsTheSearchWhileBrowsing();
};

void TestViewBrowsing::stepsInNickOrderAndStopsAtTheEnds() {
    Sandbox sandbox;
    const QString picture = QStringLiteral(PALVANE_TEST_DATA "/sample.bmp");
    createFriends(sandbox, picture);
    MainWindowFixture fixture;
    TForm1* form = fixture.form();
    QVERIFY(fixture.boxes().empty());

    // Start-up shows the first contact in natural order, with all its fields.
    QCOMPARE(view(form), expected(QStringLiteral("carl"), QStringLiteral("Carl"), 1, 3));
    QCOMPARE(form->DBEdit3->text(), QStringLiteral("carl@example.org"));
    QCOMPARE(form->DBEdit2->text(), QStringLiteral("Turku"));
    QCOMPARE(form->DBMemo1->toPlainText(), QStringLiteral("Met on #palvane."));
    QVERIFY(form->Image1->isHidden());

    // The start-up search selected nick order: dave follows carl, not bob.
    form->Button3->click();
    QCOMPARE(view(form), expected(QStringLiteral("dave"), QStringLiteral("Dave"), 5, 5));
    QCOMPARE(form->DBEdit3->text(), QString());
    QCOMPARE(form->DBMemo1->toPlainText(), QString());
    QVERIFY(!form->Image1->isHidden());
    QVERIFY(!form->Image2->isHidden());
    QCOMPARE(form->currentPicturePath(), picture);

    // Next on the last contact changes nothing.
    form->Button3->click();
    QCOMPARE(view(form), expected(QStringLiteral("dave"), QStringLiteral("Dave"), 5, 5));
    QVERIFY(!form->Image1->isHidden());

    form->Button4->click();
    QCOMPARE(view(form), expected(QStringLiteral("carl"), QStringLiteral("Carl"), 1, 3));
    QVERIFY(form->Image1->isHidden());
    QVERIFY(form->Image2->isHidden());
    QVERIFY(form->currentPicturePath().isEmpty());

    // Back to the first contact in nick order, then Previous stands still.
    QLineEdit* box = focusSearchBox(form);
    box->selectAll();
    QTest::keyClick(box, 'a');
    QCOMPARE(view(form), expected(QStringLiteral("alpha"), QStringLiteral("Alpha"), 3, -2));
    form->Button4->click();
    QCOMPARE(view(form), expected(QStringLiteral("alpha"), QStringLiteral("Alpha"), 3, -2));
    // The write of the same nick left the box as it was, selection and all.
    QCOMPARE(box->selectedText(), QStringLiteral("lpha"));
    QVERIFY(fixture.boxes().empty());
}

void TestViewBrowsing::equalNicksAreSearchedAgain() {
    Sandbox sandbox;
    createFriends(sandbox, QString());
    MainWindowFixture fixture;
    TForm1* form = fixture.form();

    // Previous from carl moves to the second bob; the nick written into the box differs from
    // "carl", so it is searched and the first bob is found.
    form->Button4->click();
    QCOMPARE(view(form), expected(QStringLiteral("bob"), QStringLiteral("Bob One"), 2, 1));

    form->Button4->click();
    QCOMPARE(view(form), expected(QStringLiteral("alpha"), QStringLiteral("Alpha"), 3, -2));

    // Next reaches both: the first through the search, the second because "bob" already
    // stands in the box, so the write runs nothing and the offset stays the first bob's.
    form->Button3->click();
    QCOMPARE(view(form), expected(QStringLiteral("bob"), QStringLiteral("Bob One"), 2, 1));
    form->Button3->click();
    QCOMPARE(view(form), expected(QStringLiteral("bob"), QStringLiteral("Bob Two"), 4, 1));
    form->Button3->click();
    QCOMPARE(view(form), expected(QStringLiteral("carl"), QStringLiteral("Carl"), 1, 3));

    // From the contact after the two, Previous lands on the first of them again.
    form->Button4->click();
    QCOMPARE(view(form), expected(QStringLiteral("bob"), QStringLiteral("Bob One"), 2, 1));

    // Typed, "bob" finds the first of them as well.
    QLineEdit* box = focusSearchBox(form);
    form->Button3->click();
    QCOMPARE(view(form), expected(QStringLiteral("bob"), QStringLiteral("Bob Two"), 4, 1));
    box->selectAll();
    QTest::keyClicks(box, QStringLiteral("bo"));
    QCOMPARE(view(form), expected(QStringLiteral("bob"), QStringLiteral("Bob One"), 2, 1));
    QCOMPARE(box->selectedText(), QStringLiteral("b"));
    QVERIFY(fixture.boxes().empty());
}

void TestViewBrowsing::nicksDifferingInCaseAreBothReached() {
    // The index folds the case of A to Z only: "Bob" and "bob" are one nick to it, "Åsa" and
    // "åsa" are two.
    QVERIFY(Table::sameNick(QStringLiteral("Bob"), QStringLiteral("bOB")));
    QVERIFY(!Table::sameNick(QStringLiteral("Åsa"), QStringLiteral("åsa")));
    QVERIFY(!Table::sameNick(QStringLiteral("bob"), QStringLiteral("bo")));
    QVERIFY(!Table::sameNick(QStringLiteral("bob["), QStringLiteral("bob{")));

    Sandbox sandbox;
    // Rows in natural order; nick order is al(3), Bob(2), bob(4), carl(1).
    sandbox.createTable({contact(QStringLiteral("carl"), QStringLiteral("Carl"), 3),
                         contact(QStringLiteral("Bob"), QStringLiteral("Bob Upper"), 1),
                         contact(QStringLiteral("al"), QStringLiteral("Al"), -2),
                         contact(QStringLiteral("bob"), QStringLiteral("Bob Lower"), 7)});
    MainWindowFixture fixture;
    TForm1* form = fixture.form();

    // As for two equal nicks: Previous from carl searches "bob" and finds the first of them.
    form->Button4->click();
    QCOMPARE(view(form), expected(QStringLiteral("Bob"), QStringLiteral("Bob Upper"), 2, 1));
    // Next writes the other spelling, which is no new nick: no search, so it stays on the
    // second of them (the offset stays the first one's, as for equal nicks), and the next
    // Next gets past them.
    form->Button3->click();
    QCOMPARE(view(form), expected(QStringLiteral("bob"), QStringLiteral("Bob Lower"), 4, 1));
    form->Button3->click();
    QCOMPARE(view(form), expected(QStringLiteral("carl"), QStringLiteral("Carl"), 1, 3));
    form->Button4->click();
    form->Button4->click();
    QCOMPARE(view(form), expected(QStringLiteral("al"), QStringLiteral("Al"), 3, -2));

    // Typed in either spelling, the search finds the first of them.
    QLineEdit* box = focusSearchBox(form);
    box->selectAll();
    QTest::keyClicks(box, QStringLiteral("BOB"));
    QCOMPARE(view(form), expected(QStringLiteral("Bob"), QStringLiteral("Bob Upper"), 2, 1));
    QVERIFY(fixture.boxes().empty());
}

void TestViewBrowsing::notesFollowTheContactFromTheirBeginning() {
    Sandbox sandbox;
    QString longNotes;
    for (int line = 1; line <= 40; ++line)
        longNotes += QStringLiteral("note line %1\n").arg(line);
    auto withNotes = [](const QString& nick, const QString& notes) {
        auto row = contact(nick);
        row.notes = notes;
        return row;
    };
    sandbox.createTable(
        {withNotes(QStringLiteral("ann"), QStringLiteral("First line\nsecond line")),
         withNotes(QStringLiteral("ben"), QStringLiteral("Other line\nother end")),
         withNotes(QStringLiteral("cat"), longNotes),
         withNotes(QStringLiteral("dan"), longNotes + QStringLiteral("more\n")),
         withNotes(QStringLiteral("eve"), QString()),
         withNotes(QStringLiteral("fay"), QStringLiteral("tab\tand ünïcode ✓"))});
    MainWindowFixture fixture;
    TForm1* form = fixture.form();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    QPlainTextEdit* memo = form->DBMemo1;
    QCOMPARE(memo->toPlainText(), QStringLiteral("First line\nsecond line"));

    // Notes of as many lines as the ones before leave the scroll bar alone.
    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* event) override {
            paints += event->type() == QEvent::Paint;
            return false;
        }
    } scrollBarPaints;
    QCoreApplication::processEvents();
    memo->verticalScrollBar()->installEventFilter(&scrollBarPaints);
    form->Button3->click();
    QCoreApplication::processEvents();
    QCOMPARE(memo->toPlainText(), QStringLiteral("Other line\nother end"));
    QCOMPARE(scrollBarPaints.paints, 0);
    memo->verticalScrollBar()->removeEventFilter(&scrollBarPaints);

    // Long notes are shown from the top; scrolled down, the next contact's start at the top.
    form->Button3->click();
    QCOMPARE(memo->toPlainText(), longNotes);
    QCOMPARE(memo->verticalScrollBar()->value(), 0);
    QVERIFY(memo->verticalScrollBar()->maximum() > 0);
    memo->verticalScrollBar()->setValue(memo->verticalScrollBar()->maximum());
    form->Button3->click();
    QCOMPARE(memo->toPlainText(), longNotes + QStringLiteral("more\n"));
    QCOMPARE(memo->verticalScrollBar()->value(), 0);
    QCOMPARE(memo->textCursor().position(), 0);

    // Empty notes empty the box; other characters come through as they are.
    form->Button3->click();
    QCOMPARE(memo->toPlainText(), QString());
    form->Button3->click();
    QCOMPARE(memo->toPlainText(), QStringLiteral("tab\tand ünïcode ✓"));
    // The box keeps no history of the program's writes.
    QVERIFY(!memo->document()->isUndoAvailable());
    QVERIFY(fixture.boxes().empty());
}

void TestViewBrowsing::backspaceInTheBoxStopsTheSearchWhileBrowsing() {
    Sandbox sandbox;
    const QString picture = QStringLiteral(PALVANE_TEST_DATA "/sample.bmp");
    createFriends(sandbox, picture);
    MainWindowFixture fixture;
    TForm1* form = fixture.form();

    // A Backspace in the box: browsing still writes each nick and shows each picture, but no
    // search runs, so Previous from carl stays on the second bob and the offset stays carl's.
    QLineEdit* box = focusSearchBox(form);
    QTest::keyClick(box, Qt::Key_End);
    QTest::keyClick(box, Qt::Key_Backspace);
    QCOMPARE(box->text(), QStringLiteral("car"));
    QVERIFY(form->SearchSuppressed);

    form->Button4->click();
    QCOMPARE(view(form), expected(QStringLiteral("bob"), QStringLiteral("Bob Two"), 4, 3));
    form->Button4->click();
    QCOMPARE(view(form), expected(QStringLiteral("bob"), QStringLiteral("Bob One"), 2, 3));
    form->Button4->click();
    QCOMPARE(view(form), expected(QStringLiteral("alpha"), QStringLiteral("Alpha"), 3, 3));
    for (int i = 0; i < 4; ++i)
        form->Button3->click();
    QCOMPARE(view(form), expected(QStringLiteral("dave"), QStringLiteral("Dave"), 5, 3));
    QVERIFY(!form->Image1->isHidden());
    QCOMPARE(form->currentPicturePath(), picture);
    form->Button4->click();
    QVERIFY(form->Image1->isHidden());
    QVERIFY(form->SearchSuppressed);

    // The next character typed searches again, and browsing loads the offsets once more.
    box = focusSearchBox(form);
    box->selectAll();
    QTest::keyClick(box, 'd');
    QCOMPARE(view(form), expected(QStringLiteral("dave"), QStringLiteral("Dave"), 5, 5));
    form->Button4->click();
    QCOMPARE(view(form), expected(QStringLiteral("carl"), QStringLiteral("Carl"), 1, 3));
    form->Button4->click();
    QCOMPARE(view(form), expected(QStringLiteral("bob"), QStringLiteral("Bob One"), 2, 1));
    QVERIFY(fixture.boxes().empty());
}

QTEST_MAIN(TestViewBrowsing)
#include "test_view_browsing.moc"
