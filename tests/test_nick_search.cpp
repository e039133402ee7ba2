// The nick search of the View tab: completion while typing, Backspace and DEL editing without a
// search, the Delete key, pasting, keys typed while a search pumps messages, and what a failing
// table, picture or offset leaves behind. Keys are real key events on the search box.

#include "main_window/tform1.h"

#include "core/time_displacement.h"
#include "main_window/db_controls.h"
#include "main_window/spin_edit.h"
#include "side_windows/picture_box.h"
#include "store/table.h"
#include "tests/support/main_window_fixture.h"
#include "tests/support/sandbox.h"
#include "widgets/message_box.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTest>

using namespace palvane;
using palvane::test::contact;
using palvane::test::MainWindowFixture;
using palvane::test::Sandbox;

namespace {

const QString kClosed = QStringLiteral("Cannot perform this operation on a closed dataset.");
const QString kNoRecords =
    QStringLiteral("There are no records in the current database. Please make an entry.");

// The offset a contact of so many hours carries once loaded.
double days(int hours) {
    return toReal48(hours / 24.0);
}

// The box as the user sees it: "[" and "]" around the selection, "|" at the caret.
// "a[lpha|]" is alpha with lpha selected forwards, "b[|eta]" the same selected backwards.
QString shown(const QLineEdit* box) {
    const QString text = box->text();
    const bool selected = box->hasSelectedText();
    const int start = box->selectionStart();
    const int end = start + box->selectionLength();
    QString out;
    for (int i = 0; i <= text.length(); ++i) {
        if (selected && i == start)
            out += QLatin1Char('[');
        if (i == box->cursorPosition())
            out += QLatin1Char('|');
        if (selected && i == end)
            out += QLatin1Char(']');
        if (i < text.length())
            out += text.at(i);
    }
    return out;
}

// Gives the search box the keyboard focus, as a click into it would.
QLineEdit* focusSearchBox(TForm1* form) {
    form->activateWindow();
    QApplication::setActiveWindow(form);
    form->Edit1->setFocus();
    return form->Edit1;
}

// Select all and Backspace: an empty box in which Backspace was the last character key.
void emptyWithBackspace(QLineEdit* box) {
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Backspace);
}

// A key event that types the DEL character (127) without a key of its own.
void typeDelCharacter(QWidget* box) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(QChar(127)));
    QApplication::sendEvent(box, &press);
}

// Sandbox table with the three contacts of the examples, out of nick order so that the first
// contact in natural order is beta.
void createAlphabet(Sandbox& sandbox) {
    sandbox.createTable({contact(QStringLiteral("beta"), QStringLiteral("Beta C."), 9),
                         contact(QStringLiteral("alpine"), QStringLiteral("Alpine B."), -5),
                         contact(QStringLiteral("alpha"), QStringLiteral("Alpha A."), 2)});
}

} // namespace

class TestNickSearch : public QObject {
    Q_OBJECT

private slots:
    void typingCompletesTheNearestNick();
    void textBeyondEveryNickAndCase();
    void backspaceEditsWithoutSearching();
    void deleteKeySearchesUnlessSuppressed();
    void delCharacterSuppressesTheSearch();
    void nonCharacterKeysLeaveTheSuppression();
    void pasteLongerThanTheNickFound();
    void keysTypedWhileTheSearchPumpsMessages();
    void failureOfASearchTypedDuringAProgramWrite();
    void emptyTable();
    void closedTable();
    void pictureFailureAfterTheContactIsShown();
    void offsetOverflowSkipsThePicture();
};

void TestNickSearch::typingCompletesTheNearestNick() {
    Sandbox sandbox;
    createAlphabet(sandbox);
    MainWindowFixture fixture;
    TForm1* form = fixture.form();
    QVERIFY(fixture.boxes().empty());
    QLineEdit* box = focusSearchBox(form);

    // Start-up wrote the first contact's nick and searched it.
    QCOMPARE(shown(box), QStringLiteral("beta|"));
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("Beta C."));
    QCOMPARE(form->TimeDisplacement(), days(9));
    QVERIFY(!form->SearchSuppressed);

    emptyWithBackspace(box);
    QCOMPARE(shown(box), QStringLiteral("|"));
    QVERIFY(form->SearchSuppressed);
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("Beta C."));

    QTest::keyClick(box, 'a');
    QCOMPARE(shown(box), QStringLiteral("a[lpha|]"));
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("Alpha A."));
    QCOMPARE(form->TimeDisplacement(), days(2));
    QVERIFY(!form->SearchSuppressed);

    // Each typed character replaces the selected tail.
    QTest::keyClick(box, 'l');
    QCOMPARE(shown(box), QStringLiteral("al[pha|]"));
    QTest::keyClick(box, 'p');
    QCOMPARE(shown(box), QStringLiteral("alp[ha|]"));
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("Alpha A."));
    QTest::keyClick(box, 'i');
    QCOMPARE(shown(box), QStringLiteral("alpi[ne|]"));
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("Alpine B."));
    QCOMPARE(form->TimeDisplacement(), days(-5));
    QVERIFY(!form->SearchSuppressed);
    QVERIFY(fixture.boxes().empty());
}

void TestNickSearch::textBeyondEveryNickAndCase() {
    Sandbox sandbox;
    createAlphabet(sandbox);
    MainWindowFixture fixture;
    TForm1* form = fixture.form();
    QLineEdit* box = focusSearchBox(form);

    // Greater than alpine: the nick found replaces what was typed, nothing selected.
    emptyWithBackspace(box);
    QTest::keyClicks(box, QStringLiteral("alpz"));
    QCOMPARE(shown(box), QStringLiteral("beta|"));
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("Beta C."));
    QCOMPARE(form->TimeDisplacement(), days(9));

    // Greater than every nick: the last contact in nick order, its tail selected.
    emptyWithBackspace(box);
    QTest::keyClick(box, 'a');
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("Alpha A."));
    emptyWithBackspace(box);
    QTest::keyClick(box, 'z');
    QCOMPARE(shown(box), QStringLiteral("b[eta|]"));
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("Beta C."));

    // Case is not heeded; the box shows the nick as stored.
    emptyWithBackspace(box);
    QTest::keyClicks(box, QStringLiteral("ALP"));
    QCOMPARE(shown(box), QStringLiteral("alp[ha|]"));
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("Alpha A."));
    QTest::keyClick(box, 'I');
    QCOMPARE(shown(box), QStringLiteral("alpi[ne|]"));

    // The whole nick typed: nothing left to select.
    emptyWithBackspace(box);
    QTest::keyClicks(box, QStringLiteral("beta"));
    QCOMPARE(shown(box), QStringLiteral("beta|"));
    QVERIFY(fixture.boxes().empty());
}

void TestNickSearch::backspaceEditsWithoutSearching() {
    Sandbox sandbox;
    createAlphabet(sandbox);
    MainWindowFixture fixture;
    TForm1* form = fixture.form();
    QLineEdit* box = focusSearchBox(form);
    const qint64 alphaRow = 3;

    emptyWithBackspace(box);
    QTest::keyClicks(box, QStringLiteral("alp"));
    QCOMPARE(shown(box), QStringLiteral("alp[ha|]"));

    // The selected tail goes; a search would have completed "alp" again.
    QTest::keyClick(box, Qt::Key_Backspace);
    QCOMPARE(shown(box), QStringLiteral("alp|"));
    QVERIFY(form->SearchSuppressed);
    QCOMPARE(form->Table1->currentRowId(), alphaRow);
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("Alpha A."));
    QCOMPARE(form->TimeDisplacement(), days(2));

    // The next character searches again.
    QTest::keyClick(box, 'i');
    QCOMPARE(shown(box), QStringLiteral("alpi[ne|]"));
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("Alpine B."));
    QCOMPARE(form->TimeDisplacement(), days(-5));
    QVERIFY(!form->SearchSuppressed);

    // Emptying the box with Backspace searches nothing either: an empty key would find alpha.
    for (int i = 0; i < 6; ++i)
        QTest::keyClick(box, Qt::Key_Backspace);
    QCOMPARE(shown(box), QStringLiteral("|"));
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("Alpine B."));
    QCOMPARE(form->TimeDisplacement(), days(-5));
    QVERIFY(form->SearchSuppressed);

    // Nor does a program write while suppressed.
    form->Edit1->setText(QStringLiteral("beta"));
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("Alpine B."));
    QCOMPARE(form->TimeDisplacement(), days(-5));
    QVERIFY(fixture.boxes().empty());
}

void TestNickSearch::deleteKeySearchesUnlessSuppressed() {
    Sandbox sandbox;
    createAlphabet(sandbox);
    MainWindowFixture fixture;
    TForm1* form = fixture.form();
    QLineEdit* box = focusSearchBox(form);

    // Right after a typed character the Delete key's change searches and completes again.
    emptyWithBackspace(box);
    QTest::keyClicks(box, QStringLiteral("alp"));
    QTest::keyClick(box, Qt::Key_Delete);
    QCOMPARE(shown(box), QStringLiteral("alp[ha|]"));
    QVERIFY(!form->SearchSuppressed);

    // The same with the text a desktop may attach to the Delete key: still no character.
    QKeyEvent deleteWithText(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QString(QChar(127)));
    QApplication::sendEvent(box, &deleteWithText);
    QCOMPARE(shown(box), QStringLiteral("alp[ha|]"));
    QVERIFY(!form->SearchSuppressed);

    // The whole text selected and deleted: the empty text finds the first nick, all selected.
    QTest::keyClick(box, 'i');
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("Alpine B."));
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    QCOMPARE(shown(box), QStringLiteral("[alpha|]"));
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("Alpha A."));
    QCOMPARE(form->TimeDisplacement(), days(2));

    // Right after a Backspace the Delete key searches nothing.
    emptyWithBackspace(box);
    QTest::keyClicks(box, QStringLiteral("alpi"));
    QTest::keyClick(box, Qt::Key_Backspace);
    QCOMPARE(shown(box), QStringLiteral("alpi|"));
    QTest::keyClick(box, Qt::Key_Home);
    QTest::keyClick(box, Qt::Key_Delete);
    QCOMPARE(shown(box), QStringLiteral("|lpi"));
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("Alpine B."));
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    QCOMPARE(shown(box), QStringLiteral("|"));
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("Alpine B."));
    QCOMPARE(form->TimeDisplacement(), days(-5));
    QVERIFY(form->SearchSuppressed);
    QVERIFY(fixture.boxes().empty());
}

void TestNickSearch::delCharacterSuppressesTheSearch() {
    Sandbox sandbox;
    createAlphabet(sandbox);
    MainWindowFixture fixture;
    TForm1* form = fixture.form();
    QLineEdit* box = focusSearchBox(form);

    // A bare DEL character: the box takes nothing, the search is suppressed from now on.
    emptyWithBackspace(box);
    QTest::keyClicks(box, QStringLiteral("alpi"));
    QCOMPARE(shown(box), QStringLiteral("alpi[ne|]"));
    typeDelCharacter(box);
    QCOMPARE(shown(box), QStringLiteral("alpi[ne|]"));
    QVERIFY(form->SearchSuppressed);
    QTest::keyClick(box, Qt::Key_Delete);
    QCOMPARE(shown(box), QStringLiteral("alpi|"));
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("Alpine B."));

    // Ctrl+Backspace types DEL on the classic desktop: its change searches nothing.
    QTest::keyClick(box, 'z');
    QVERIFY(!form->SearchSuppressed);
    QCOMPARE(shown(box), QStringLiteral("bet[|a]"));
    QTest::keyClick(box, Qt::Key_End);
    QTest::keyClick(box, Qt::Key_Backspace, Qt::ControlModifier);
    QCOMPARE(shown(box), QStringLiteral("|"));
    QVERIFY(form->SearchSuppressed);
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("Beta C."));
    QCOMPARE(form->TimeDisplacement(), days(9));

    // Any other control character is a character like the rest: Escape ends the suppression,
    // so that the next change searches.
    QTest::keyClick(box, Qt::Key_Escape);
    QVERIFY(!form->SearchSuppressed);
    QCOMPARE(shown(box), QStringLiteral("|"));
    box->insert(QStringLiteral("alpi"));
    QCOMPARE(shown(box), QStringLiteral("alpi[ne|]"));
    QVERIFY(fixture.boxes().empty());
}

void TestNickSearch::nonCharacterKeysLeaveTheSuppression() {
    Sandbox sandbox;
    createAlphabet(sandbox);
    MainWindowFixture fixture;
    TForm1* form = fixture.form();
    QLineEdit* box = focusSearchBox(form);

    emptyWithBackspace(box);
    QTest::keyClicks(box, QStringLiteral("alp"));
    QTest::keyClick(box, Qt::Key_Backspace);
    QVERIFY(form->SearchSuppressed);
    for (Qt::Key key : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Home, Qt::Key_End, Qt::Key_Shift,
                        Qt::Key_Control, Qt::Key_F5, Qt::Key_Insert}) {
        QTest::keyClick(box, key);
        QVERIFY2(form->SearchSuppressed, qPrintable(QString::number(key, 16)));
    }

    // Tab moves the focus on; it types nothing into the box and leaves the flag alone, so the
    // next browse (a program write) still runs no search.
    QTest::keyClick(box, Qt::Key_Tab);
    QVERIFY(form->SearchSuppressed);
    QVERIFY(!box->hasFocus());
    form->Edit1->setText(QStringLiteral("beta"));
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("Alpha A."));

    // The same keys after a typed character leave it false: Home then Delete searches.
    box = focusSearchBox(form);
    box->selectAll();
    QTest::keyClick(box, 'a');
    QTest::keyClick(box, Qt::Key_Tab);
    box = focusSearchBox(form);
    QTest::keyClick(box, Qt::Key_Home);
    QVERIFY(!form->SearchSuppressed);
    QTest::keyClick(box, Qt::Key_Delete);
    // "lpha" is past every nick: the last one in nick order is found.
    QCOMPARE(shown(box), QStringLiteral("beta|"));
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("Beta C."));

    // A character composed by an input method is a typed character: it ends the suppression
    // and its change searches.
    QTest::keyClick(box, Qt::Key_Backspace);
    QVERIFY(form->SearchSuppressed);
    box->selectAll();
    QInputMethodEvent composed;
    composed.setCommitString(QStringLiteral("\u00e1"));
    QApplication::sendEvent(box, &composed);
    QVERIFY(!form->SearchSuppressed);
    QCOMPARE(box->text(), QStringLiteral("beta")); // past every ASCII nick: the last one
    QVERIFY(fixture.boxes().empty());
}

void TestNickSearch::pasteLongerThanTheNickFound() {
    Sandbox sandbox;
    createAlphabet(sandbox);
    MainWindowFixture fixture;
    TForm1* form = fixture.form();
    QLineEdit* box = focusSearchBox(form);

    // A paste while suppressed is a change like any other: no search.
    emptyWithBackspace(box);
    QTest::keyClick(box, 'a');
    emptyWithBackspace(box);
    QApplication::clipboard()->setText(QStringLiteral("betamax"));
    box->paste();
    QCOMPARE(shown(box), QStringLiteral("betamax|"));
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("Alpha A."));

    // Not suppressed: beta is found, shorter than the text, and its tail selected backwards.
    emptyWithBackspace(box);
    form->SearchSuppressed = false;
    box->paste();
    QCOMPARE(shown(box), QStringLiteral("b[|eta]"));
    QCOMPARE(box->selectionStart(), 1);
    QCOMPARE(box->cursorPosition(), 1);
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("Beta C."));
    QCOMPARE(form->TimeDisplacement(), days(9));

    // Typed one past the whole nick: its last character selected backwards.
    emptyWithBackspace(box);
    QTest::keyClicks(box, QStringLiteral("beta"));
    QCOMPARE(shown(box), QStringLiteral("beta|"));
    QTest::keyClick(box, 'm');
    QCOMPARE(shown(box), QStringLiteral("bet[|a]"));

    // More than twice as long as the nick found: the nick still shows in full.
    emptyWithBackspace(box);
    form->SearchSuppressed = false;
    QApplication::clipboard()->setText(QStringLiteral("betamaxxxxxxx"));
    box->paste();
    QCOMPARE(box->text(), QStringLiteral("beta"));
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("Beta C."));
    QVERIFY(fixture.boxes().empty());
}

void TestNickSearch::keysTypedWhileTheSearchPumpsMessages() {
    Sandbox sandbox;
    createAlphabet(sandbox);
    MainWindowFixture fixture;
    TForm1* form = fixture.form();
    QLineEdit* box = focusSearchBox(form);

    // A character waiting in the queue runs its own search inside this one; this search then
    // goes on from where the inner one left the table.
    emptyWithBackspace(box);
    QCoreApplication::postEvent(
        box, new QKeyEvent(QEvent::KeyPress, Qt::Key_Z, Qt::NoModifier, QStringLiteral("z")));
    QTest::keyClick(box, 'a'); // "a" finds alpha, then the queued z makes it "az"
    QCOMPARE(shown(box), QStringLiteral("be[ta|]"));
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("Beta C."));
    QCOMPARE(form->TimeDisplacement(), days(9));
    QVERIFY(!form->SearchSuppressed);

    // A Backspace waiting in the queue is applied without a search, and the flag is cleared
    // all the same when the search ends.
    emptyWithBackspace(box);
    QCoreApplication::postEvent(box, new QKeyEvent(QEvent::KeyPress, Qt::Key_Backspace,
                                                   Qt::NoModifier, QStringLiteral("\b")));
    QTest::keyClick(box, 'a');
    QCOMPARE(shown(box), QStringLiteral("a|"));
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("Alpha A."));
    QCOMPARE(form->TimeDisplacement(), days(2));
    QVERIFY(!form->SearchSuppressed);
    // No character key since: the Delete key's change searches the empty text.
    QTest::keyClick(box, Qt::Key_Home);
    QTest::keyClick(box, Qt::Key_Delete);
    QCOMPARE(shown(box), QStringLiteral("[alpha|]"));
    QVERIFY(fixture.boxes().empty());
}

void TestNickSearch::failureOfASearchTypedDuringAProgramWrite() {
    Sandbox sandbox;
    const QString missing = sandbox.path() + QStringLiteral("/gone.bmp");
    sandbox.createTable({contact(QStringLiteral("alpha"), QStringLiteral("Alpha A."), 2),
                         contact(QStringLiteral("bob"), QStringLiteral("Bob"), 1),
                         contact(QStringLiteral("zed"), QStringLiteral("Zed"), 4, missing)});
    MainWindowFixture fixture;
    TForm1* form = fixture.form();
    QLineEdit* box = focusSearchBox(form);
    QVERIFY(fixture.boxes().empty());

    // Next writes "bob" into the box; its search pumps messages and meets a typed z, whose
    // own search lands on zed and fails on the picture. That failure is the user's keystroke's
    // and is reported at once; the outer search goes on with zed and fails on it too, which
    // ends Next.
    QCoreApplication::postEvent(
        box, new QKeyEvent(QEvent::KeyPress, Qt::Key_Z, Qt::NoModifier, QStringLiteral("z")));
    form->Button3->click();
    const QString cannotOpen = QStringLiteral("Cannot open file %1.").arg(missing);
    QCOMPARE(fixture.boxTexts(), QStringList({cannotOpen, cannotOpen}));
    QCOMPARE(box->text(), QStringLiteral("zed"));
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("Zed"));
    QCOMPARE(form->TimeDisplacement(), days(4));
    QCOMPARE(form->currentPicturePath(), missing);
    QVERIFY(!form->Image1->isHidden());
    QVERIFY(!form->Image2->isHidden());
    QVERIFY(!form->SearchSuppressed);
}

void TestNickSearch::emptyTable() {
    Sandbox sandbox;
    sandbox.createTable({});
    MainWindowFixture fixture;
    TForm1* form = fixture.form();
    QCOMPARE(fixture.boxTexts(), QStringList({kNoRecords}));
    QCOMPARE(form->PageControl1->currentWidget(), form->TabSheet2);
    QCOMPARE(form->Edit1->text(), QString());
    QCOMPARE(form->TimeDisplacement(), 0.0);
    QVERIFY(form->Image1->isHidden());
    QVERIFY(form->Image2->isHidden());
    QVERIFY(form->currentPicturePath().isEmpty());
    QVERIFY(!form->SearchSuppressed);

    // The tab change writes the empty nick into the empty box: no change, no search, so the
    // offset from the spin box stays.
    form->SpinEdit1->setValue(6);
    QCOMPARE(form->TimeDisplacement(), 0.25);
    form->PageControl1->setCurrentWidget(form->TabSheet1);
    QCOMPARE(fixture.boxTexts(), QStringList({kNoRecords, kNoRecords}));
    QCOMPARE(form->PageControl1->currentWidget(), form->TabSheet2);
    QCOMPARE(form->Edit1->text(), QString());
    QCOMPARE(form->TimeDisplacement(), 0.25);

    // Typing searches the empty table: no record, the box empties, the offset becomes 0.
    {
        const QSignalBlocker quiet(form->PageControl1);
        form->PageControl1->setCurrentWidget(form->TabSheet1);
    }
    QLineEdit* box = focusSearchBox(form);
    QTest::keyClick(box, 'x');
    QCOMPARE(shown(box), QStringLiteral("|"));
    QVERIFY(!form->Table1->hasCurrent());
    QCOMPARE(form->TimeDisplacement(), 0.0);
    QVERIFY(form->Image1->isHidden());
    QVERIFY(form->Image2->isHidden());
    QVERIFY(!form->SearchSuppressed);
    QCOMPARE(form->DBEdit1->text(), QString());
    QCOMPARE(fixture.boxes().size(), std::size_t(2));
}

void TestNickSearch::closedTable() {
    Sandbox sandbox; // no data/ directory: the table cannot be opened
    MainWindowFixture fixture;
    TForm1* form = fixture.form();
    QCOMPARE(fixture.boxes().size(), std::size_t(1));
    QCOMPARE(fixture.boxes().front().kind, BoxKind::Error);
    QVERIFY(!form->Table1->active());
    fixture.clearBoxes();
    QLineEdit* box = focusSearchBox(form);

    // The search fails at the table: reported, nothing completed, suppression left on.
    QTest::keyClick(box, 'a');
    QCOMPARE(fixture.boxTexts(), QStringList({kClosed}));
    QCOMPARE(shown(box), QStringLiteral("a|"));
    QVERIFY(form->SearchSuppressed);
    QCOMPARE(form->TimeDisplacement(), 0.0);

    // Until the next character key other than Backspace, changes of the box run nothing.
    QTest::keyClick(box, Qt::Key_Home);
    QTest::keyClick(box, Qt::Key_Delete);
    QCOMPARE(shown(box), QStringLiteral("|"));
    QApplication::clipboard()->setText(QStringLiteral("bob"));
    box->paste();
    QTest::keyClick(box, Qt::Key_Backspace);
    form->Edit1->setText(QStringLiteral("carl"));
    QCOMPARE(fixture.boxTexts(), QStringList({kClosed}));
    QVERIFY(form->SearchSuppressed);

    QTest::keyClick(box, 'b');
    QCOMPARE(fixture.boxTexts(), QStringList({kClosed, kClosed}));
    QCOMPARE(shown(box), QStringLiteral("carlb|"));
    QVERIFY(form->SearchSuppressed);
}

void TestNickSearch::pictureFailureAfterTheContactIsShown() {
    Sandbox sandbox;
    const QString missing = sandbox.path() + QStringLiteral("/no/such/picture.bmp");
    const QString sample = QStringLiteral(PALVANE_TEST_DATA "/sample.bmp");
    sandbox.createTable({contact(QStringLiteral("beta"), QStringLiteral("Beta C."), 9),
                         contact(QStringLiteral("alpha"), QStringLiteral("Alpha A."), 2, missing),
                         contact(QStringLiteral("carl"), QStringLiteral("Carl"), -3, sample)});
    MainWindowFixture fixture;
    TForm1* form = fixture.form();
    QVERIFY(fixture.boxes().empty());
    QVERIFY(form->Image1->isHidden());
    QLineEdit* box = focusSearchBox(form);

    // A picture that loads: both boxes show it.
    emptyWithBackspace(box);
    QTest::keyClick(box, 'c');
    QVERIFY(fixture.boxes().empty());
    QCOMPARE(form->currentPicturePath(), sample);
    QVERIFY(!form->Image1->isHidden());
    QVERIFY(!form->Image2->isHidden());
    QVERIFY(!form->Image1->picture().isNull());
    QVERIFY(!form->Image2->picture().isNull());
    const QSize sampleSize = form->Image1->picture().size();

    // A missing file: by the time the error shows, the box, the table and the offset belong to
    // alpha; both boxes are visible, still holding the picture they had.
    emptyWithBackspace(box);
    QTest::keyClick(box, 'a');
    QCOMPARE(fixture.boxTexts(),
             QStringList({QStringLiteral("Cannot open file %1.").arg(missing)}));
    QCOMPARE(shown(box), QStringLiteral("a[lpha|]"));
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("Alpha A."));
    QCOMPARE(form->TimeDisplacement(), days(2));
    QCOMPARE(form->currentPicturePath(), missing);
    QVERIFY(!form->Image1->isHidden());
    QVERIFY(!form->Image2->isHidden());
    QCOMPARE(form->Image1->picture().size(), sampleSize);
    QCOMPARE(form->Image2->picture().size(), sampleSize);
    QVERIFY(!form->SearchSuppressed);

    // A contact without a picture hides both boxes and forgets the path.
    emptyWithBackspace(box);
    QTest::keyClick(box, 'b');
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("Beta C."));
    QVERIFY(form->Image1->isHidden());
    QVERIFY(form->Image2->isHidden());
    QVERIFY(form->currentPicturePath().isEmpty());
    QCOMPARE(fixture.boxes().size(), std::size_t(1));
}

void TestNickSearch::offsetOverflowSkipsThePicture() {
    Sandbox sandbox;
    auto huge = contact(QStringLiteral("gamma"), QStringLiteral("Gamma"), 0,
                        QStringLiteral(PALVANE_TEST_DATA "/sample.bmp"));
    huge.timeDisplacement = 1e39;
    auto blank = contact(QStringLiteral("delta"), QStringLiteral("Delta"));
    blank.timeDisplacement = std::nullopt;
    sandbox.createTable(
        {contact(QStringLiteral("beta"), QStringLiteral("Beta C."), 9), huge, blank});
    MainWindowFixture fixture;
    TForm1* form = fixture.form();
    QLineEdit* box = focusSearchBox(form);
    QVERIFY(fixture.boxes().empty());

    emptyWithBackspace(box);
    QTest::keyClick(box, 'g');
    QCOMPARE(fixture.boxTexts(), QStringList({QStringLiteral("Floating point overflow.")}));
    QCOMPARE(shown(box), QStringLiteral("g[amma|]"));
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("Gamma"));
    QVERIFY(!form->SearchSuppressed);
    // The offset keeps beta's, and the picture step never ran.
    QCOMPARE(form->TimeDisplacement(), days(9));
    QVERIFY(form->Image1->isHidden());
    QVERIFY(form->Image2->isHidden());
    QVERIFY(form->currentPicturePath().isEmpty());

    // A blank stored offset reads as 0.
    emptyWithBackspace(box);
    QTest::keyClick(box, 'd');
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("Delta"));
    QCOMPARE(form->TimeDisplacement(), 0.0);
    QCOMPARE(fixture.boxes().size(), std::size_t(1));
}

QTEST_MAIN(TestNickSearch)
#include "test_nick_search.moc"
