// Entry editing on the Edit/Add tab: New, Update and Delete Entry, and the tab switch with its
// purge of blank entries. Every command is checked against the file through a second
// connection, not only against the widgets.

#include "app/window_set.h"
#include "main_window/db_controls.h"
#include "main_window/spin_edit.h"
#include "main_window/tform1.h"
#include "main_window/tokbottomdlg.h"
#include "side_windows/picture_box.h"
#include "store/schema.h"
#include "store/table.h"
#include "tests/support/edit_tab_actions.h"
#include "tests/support/main_window_fixture.h"
#include "tests/support/sandbox.h"
#include "widgets/message_box.h"
#include "widgets/panel.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <memory>

using namespace palvane;
using namespace palvane::test;

namespace {

const QString kNoRecords =
    QStringLiteral("There are no records in the current database. Please make an entry.");
const QString kNoNick =
    QStringLiteral("Current record contains no nick! Cannot Update without Nick.");
const QString kNothingToDelete =
    QStringLiteral("If there were any records to delete I would gladly delete them. At the "
                   "moment though, I can't seem to find any... :-)");

ContactRow fullContact(const QString& nick, const QString& name, const QString& location,
                       const QString& email, const QString& notes, int hours) {
    ContactRow row = contact(nick, name, hours);
    row.location = location;
    row.email = email;
    row.notes = notes;
    return row;
}

bool near(double a, double b) {
    return qAbs(a - b) < 1e-9;
}

// Enter is pressed where the focus is, as a keyboard user does; TabEnter first moves the focus
// from "Yes" to "No".
enum class Answer { Yes, No, Escape, CloseBox, Enter, TabEnter };

void keyAtFocus(QWidget* window, Qt::Key key) {
    QTest::keyClick(window->focusWidget() ? window->focusWidget() : window, key);
}

// Answers the delete confirmation when it shows; the flag tells whether it showed.
std::shared_ptr<bool> answerConfirmation(Answer answer, int timeoutMs = 5000) {
    auto shown = std::make_shared<bool>(false);
    onNextModal(
        [shown, answer](QWidget* modal) {
            auto* dialog = qobject_cast<TOKBottomDlg*>(modal);
            if (!dialog) {
                modal->close(); // some other window: do not hang, the flag stays false
                return;
            }
            *shown = true;
            switch (answer) {
            case Answer::Yes:
                QTest::mouseClick(dialog->OKBtn, Qt::LeftButton);
                break;
            case Answer::No:
                QTest::mouseClick(dialog->CancelBtn, Qt::LeftButton);
                break;
            case Answer::Escape:
                QTest::keyClick(dialog, Qt::Key_Escape);
                break;
            case Answer::CloseBox:
                dialog->close();
                break;
            case Answer::TabEnter:
                keyAtFocus(dialog, Qt::Key_Tab);
                [[fallthrough]];
            case Answer::Enter:
                keyAtFocus(dialog, Qt::Key_Return);
                break;
            }
        },
        timeoutMs);
    return shown;
}

} // namespace

class TestEntryEditing : public QObject {
    Q_OBJECT

private slots:
    void newEntryThenUpdateStoresBothOffsets();
    void updateChangesTheCurrentRecordInPlaceAndInNickOrder();
    void newEntryLeftBlankIsPurgedAtTheTabSwitch();
    void blankEntryFromAnEarlierRunIsPurgedOnTheWayToTheEditTab();
    void recordWithoutNickButWithDataSurvivesTheTabSwitch();
    void updateWithoutNickIsRefused();
    void deleteNotConfirmedDeletesNothing();
    void deleteConfirmedMovesToTheFollowingRecord();
    void deletingTheOnlyContactEmptiesTableAndBoxes();
    void updateOnEmptyTableCreatesTheFirstRecord();
    void tabSwitchOnEmptyTableKeepsTheEditTab();
};

void TestEntryEditing::newEntryThenUpdateStoresBothOffsets() {
    Sandbox sandbox;
    sandbox.createTable({fullContact("alpha", "Alpha A", "Rome", "a@example.org", "", 1),
                         fullContact("beta", "Beta B", "Oslo", "b@example.org", "", -3)});
    MainWindowFixture app;
    TForm1* form = app.form();
    QCOMPARE(form->Edit1->text(), QStringLiteral("alpha"));

    clickTab(form, kEditTab);
    QCOMPARE(form->PageControl1->currentWidget(), form->TabSheet2);
    QCOMPARE(form->Edit2->text(), QStringLiteral("alpha"));
    QCOMPARE(form->Edit3->text(), QStringLiteral("Alpha A"));
    QCOMPARE(form->Edit4->text(), QStringLiteral("Rome"));
    QCOMPARE(form->Edit5->text(), QStringLiteral("a@example.org"));
    QCOMPARE(form->SpinEdit1->Value(), 1);
    QVERIFY(near(form->TimeDisplacement(), 1 / 24.0));
    QVERIFY(!form->Button2->isEnabled());

    form->Label6->setText(QStringLiteral("stale"));
    form->Label17->setText(QStringLiteral("stale"));
    click(form->Button1);
    QVERIFY(app.boxes().empty());
    // The blank record is stored at once and is current; the search box keeps its nick.
    QStringList rows = table(sandbox);
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows[2], QStringLiteral("|||||0|0|"));
    for (QLineEdit* box : {form->Edit2, form->Edit3, form->Edit4, form->Edit5})
        QVERIFY(box->text().isEmpty());
    QVERIFY(form->Memo1->toPlainText().isEmpty());
    QCOMPARE(form->SpinEdit1->Value(), 0);
    QCOMPARE(form->TimeDisplacement(), 0.0);
    QVERIFY(form->Button2->isEnabled());
    QCOMPARE(form->Edit1->text(), QStringLiteral("alpha"));
    QVERIFY(form->DBEdit1->text().isEmpty());
    // Their time and date on this tab are written at once, with the offset now 0.
    QCOMPARE(form->Label17->text(), form->Clock.formatDate(nowInDays()));
    QVERIFY(form->Label6->text() != QStringLiteral("stale"));
    QVERIFY(!form->Label6->text().isEmpty());

    type(form, form->Edit2, QStringLiteral("gamma"));
    type(form, form->Edit3, QStringLiteral("Gamma Ray"));
    type(form, form->Edit5, QStringLiteral("g@example.org"));
    type(form, form->Edit4, QStringLiteral("Lima"));
    type(form, form->Memo1, QStringLiteral("first line"));
    QTest::keyClick(form->Memo1, Qt::Key_Return);
    QTest::keyClicks(form->Memo1, QStringLiteral("second line"));
    typeSpin(form, QStringLiteral("5"));
    QCOMPARE(form->SpinEdit1->Value(), 5);
    QVERIFY(near(form->TimeDisplacement(), 5 / 24.0));

    click(form->Button2);
    QVERIFY(app.boxes().empty());
    const std::vector<ContactRow> stored = readContacts(sandbox.dbPath());
    QCOMPARE(stored.size(), size_t(3));
    const ContactRow& g = stored[2];
    QCOMPARE(g.nick, QStringLiteral("gamma"));
    QCOMPARE(g.name, QStringLiteral("Gamma Ray"));
    QCOMPARE(g.email, QStringLiteral("g@example.org"));
    QCOMPARE(g.location, QStringLiteral("Lima"));
    QCOMPARE(g.notes, QStringLiteral("first line\nsecond line"));
    QCOMPARE(g.spin, std::optional<int>(5));
    QVERIFY(g.timeDisplacement && near(*g.timeDisplacement, 5 / 24.0));
    QVERIFY(g.picture.isEmpty());
    QVERIFY(!form->Button2->isEnabled());
    QVERIFY(near(form->TimeDisplacement(), 5 / 24.0));
    // The other contacts are untouched.
    QCOMPARE(table(sandbox).mid(0, 2),
             (QStringList{QStringLiteral("alpha|Alpha A|Rome|a@example.org||") +
                              number(std::optional<double>(1 / 24.0)) + QStringLiteral("|1|"),
                          QStringLiteral("beta|Beta B|Oslo|b@example.org||") +
                              number(std::optional<double>(-3 / 24.0)) + QStringLiteral("|-3|")}));
    // The View tab's bound boxes show the stored contact.
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("Gamma Ray"));
    QCOMPARE(form->DBMemo1->toPlainText(), QStringLiteral("first line\nsecond line"));
}

void TestEntryEditing::updateChangesTheCurrentRecordInPlaceAndInNickOrder() {
    Sandbox sandbox;
    sandbox.createTable(
        {contact("alpha", "A", 2), contact("mike", "M", -7), contact("zulu", "Z", 0)});
    MainWindowFixture app;
    TForm1* form = app.form();
    clickTab(form, kEditTab);
    click(form->Button7);
    QCOMPARE(form->Edit2->text(), QStringLiteral("mike"));
    QCOMPARE(form->SpinEdit1->Value(), -7);

    // Rename "mike" so that it sorts first, and change its offset with the arrows.
    focus(form, form->Edit2);
    form->Edit2->selectAll();
    QTest::keyClicks(form->Edit2, QStringLiteral("Aaron"));
    form->SpinEdit1->stepUp();
    form->SpinEdit1->stepUp();
    QCOMPARE(form->SpinEdit1->Value(), -5);
    click(form->Button2);
    QVERIFY(app.boxes().empty());
    const std::vector<ContactRow> rows = readContacts(sandbox.dbPath());
    QCOMPARE(rows.size(), size_t(3));
    QCOMPARE(rows[1].nick, QStringLiteral("Aaron"));
    QCOMPARE(rows[1].name, QStringLiteral("M"));
    QCOMPARE(rows[1].spin, std::optional<int>(-5));
    QVERIFY(rows[1].timeDisplacement && near(*rows[1].timeDisplacement, -5 / 24.0));
    QCOMPARE(rows[0].nick, QStringLiteral("alpha"));
    QCOMPARE(rows[2].nick, QStringLiteral("zulu"));
    QVERIFY(!form->Button2->isEnabled());

    // The stored record stays current at its new place: first in nick order.
    click(form->Button6);
    QCOMPARE(form->Edit2->text(), QStringLiteral("Aaron"));
    click(form->Button7);
    QCOMPARE(form->Edit2->text(), QStringLiteral("alpha"));

    // Texts longer than their fields are cut to the declared length without an error.
    focus(form, form->Edit2);
    form->Edit2->selectAll();
    QTest::keyClicks(form->Edit2, QString(kNickLength + 10, QLatin1Char('n')));
    click(form->Button2);
    QVERIFY(app.boxes().empty());
    QCOMPARE(readContacts(sandbox.dbPath())[0].nick, QString(kNickLength, QLatin1Char('n')));
}

void TestEntryEditing::newEntryLeftBlankIsPurgedAtTheTabSwitch() {
    Sandbox sandbox;
    sandbox.createTable({contact("alpha", "A", 3), contact("beta", "B")});
    MainWindowFixture app;
    TForm1* form = app.form();
    const QStringList before = table(sandbox);

    // New Entry, then back to the View tab without Update Entry.
    clickTab(form, kEditTab);
    click(form->Button1);
    QCOMPARE(table(sandbox).size(), 3);
    type(form, form->Edit3, QStringLiteral("typed but never stored"));
    clickTab(form, kViewTab);
    QCOMPARE(form->PageControl1->currentWidget(), form->TabSheet1);
    QCOMPARE(table(sandbox), before);
    QVERIFY(app.boxes().empty());
    QVERIFY(!form->Button2->isEnabled());
    // What follows the purged entry is on display on both tabs.
    QCOMPARE(form->Edit1->text(), QStringLiteral("alpha"));
    QCOMPARE(form->Edit2->text(), QStringLiteral("alpha"));
    QCOMPARE(form->Edit3->text(), QStringLiteral("A"));
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("A"));
    QCOMPARE(form->SpinEdit1->Value(), 3);
    QVERIFY(near(form->TimeDisplacement(), 3 / 24.0));

    // Each New Entry left blank goes again at the next switch.
    clickTab(form, kEditTab);
    click(form->Button1);
    click(form->Button1);
    QCOMPARE(table(sandbox).size(), 4);
    clickTab(form, kViewTab);
    QCOMPARE(table(sandbox).size(), 3);
    QVERIFY(app.boxes().empty());
}

void TestEntryEditing::blankEntryFromAnEarlierRunIsPurgedOnTheWayToTheEditTab() {
    Sandbox sandbox;
    ContactRow leftover; // New Entry, then File > Exit before any switch
    sandbox.createTable({leftover, contact("beta", "B", 7), contact("alpha", "A", 1)});
    MainWindowFixture app;
    TForm1* form = app.form();
    // Start-up stays on the blank record: its empty nick equals the empty search box.
    QVERIFY(form->Edit1->text().isEmpty());
    QVERIFY(form->DBEdit1->text().isEmpty());

    clickTab(form, kEditTab);
    QCOMPARE(form->PageControl1->currentWidget(), form->TabSheet2);
    const std::vector<ContactRow> rows = readContacts(sandbox.dbPath());
    QCOMPARE(rows.size(), size_t(2));
    QCOMPARE(rows[0].nick, QStringLiteral("beta"));
    QCOMPARE(rows[1].nick, QStringLiteral("alpha"));
    // The record that followed it (natural order until the first search) is on both tabs.
    QCOMPARE(form->Edit1->text(), QStringLiteral("beta"));
    QCOMPARE(form->Edit2->text(), QStringLiteral("beta"));
    QCOMPARE(form->Edit3->text(), QStringLiteral("B"));
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("B"));
    QCOMPARE(form->SpinEdit1->Value(), 7);
    QVERIFY(near(form->TimeDisplacement(), 7 / 24.0));
    QVERIFY(!form->Button2->isEnabled());
    QVERIFY(app.boxes().empty());
}

void TestEntryEditing::recordWithoutNickButWithDataSurvivesTheTabSwitch() {
    Sandbox sandbox;
    ContactRow leftover; // a blank entry an earlier run left behind (ended before a switch)
    leftover.timeDisplacement = 0.0;
    leftover.spin = 0;
    sandbox.createTable({contact("alpha", "A"), contact(QString(), QStringLiteral("Named"), 4),
                         leftover, contact("beta", "B")});
    MainWindowFixture app;
    TForm1* form = app.form();
    QCOMPARE(form->Edit1->text(), QStringLiteral("alpha"));

    // In nick order the blank nicks lead: "Named", the leftover, alpha, beta.
    clickTab(form, kEditTab);
    click(form->Button6);
    QCOMPARE(form->Edit3->text(), QString());
    QVERIFY(form->Edit2->text().isEmpty());
    click(form->Button6);
    QCOMPARE(form->Edit3->text(), QStringLiteral("Named"));
    QCOMPARE(form->SpinEdit1->Value(), 4);

    // Switching with the named record current keeps it: its name would be lost otherwise.
    clickTab(form, kViewTab);
    QCOMPARE(table(sandbox).size(), 4);
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("Named"));
    clickTab(form, kEditTab);
    QCOMPARE(table(sandbox).size(), 4);
    QCOMPARE(form->Edit3->text(), QStringLiteral("Named"));
    QVERIFY(!form->Button2->isEnabled());

    // The leftover blank entry goes as soon as it is current at a switch.
    click(form->Button7);
    QVERIFY(form->Edit3->text().isEmpty());
    clickTab(form, kViewTab);
    const std::vector<ContactRow> rows = readContacts(sandbox.dbPath());
    QCOMPARE(rows.size(), size_t(3));
    QCOMPARE(rows[0].nick, QStringLiteral("alpha"));
    QCOMPARE(rows[1].name, QStringLiteral("Named"));
    QCOMPARE(rows[2].nick, QStringLiteral("beta"));
    QCOMPARE(form->Edit1->text(), QStringLiteral("alpha"));
    QCOMPARE(form->Edit2->text(), QStringLiteral("alpha"));

    // New Entry, then a switch to the View tab: writing the empty nick into the search box
    // would land on the first nickless record, "Named". The purge must not take it instead,
    // and the blank record New Entry made goes all the same, every time.
    const QStringList kept = table(sandbox);
    for (int attempt = 0; attempt < 2; ++attempt) {
        clickTab(form, kEditTab);
        click(form->Button1);
        QCOMPARE(table(sandbox).size(), 4);
        clickTab(form, kViewTab);
        QCOMPARE(table(sandbox), kept);
        QCOMPARE(form->Edit1->text(), QStringLiteral("alpha"));
    }
    QVERIFY(app.boxes().empty());
}

void TestEntryEditing::updateWithoutNickIsRefused() {
    Sandbox sandbox;
    sandbox.createTable({contact("alpha", "A", 1)});
    MainWindowFixture app;
    TForm1* form = app.form();
    clickTab(form, kEditTab);
    const QStringList before = table(sandbox);

    // An existing record whose nick the user erased.
    focus(form, form->Edit2);
    form->Edit2->selectAll();
    QTest::keyClick(form->Edit2, Qt::Key_Backspace);
    type(form, form->Edit3, QStringLiteral(" changed"));
    QVERIFY(form->Button2->isEnabled());
    click(form->Button2);
    QCOMPARE(app.boxTexts(), QStringList{kNoNick});
    QCOMPARE(app.boxes()[0].kind, BoxKind::Information);
    QCOMPARE(app.boxes()[0].caption, QStringLiteral("Information"));
    QCOMPARE(table(sandbox), before);
    QVERIFY(form->Button2->isEnabled()); // the flag keeps its state

    // A new entry without a nick: refused too, and the blank record stays as stored.
    app.clearBoxes();
    click(form->Button1);
    type(form, form->Edit3, QStringLiteral("No Nick"));
    click(form->Button2);
    QCOMPARE(app.boxTexts(), QStringList{kNoNick});
    QCOMPARE(table(sandbox), before + QStringList{QStringLiteral("|||||0|0|")});
    QVERIFY(form->Button2->isEnabled());

    // With the flag cleared the refusal leaves it cleared.
    click(form->Button6);
    QVERIFY(!form->Button2->isEnabled());
    form->Edit2->clear(); // a program write: no key, no flag
    app.clearBoxes();
    form->Button2Click(); // the button itself is disabled; run its handler
    QCOMPARE(app.boxTexts(), QStringList{kNoNick});
    QVERIFY(!form->Button2->isEnabled());
}

void TestEntryEditing::deleteNotConfirmedDeletesNothing() {
    Sandbox sandbox;
    sandbox.createTable({contact("alpha", "A", 1), contact("beta", "B", 2)});
    MainWindowFixture app;
    TForm1* form = app.form();
    clickTab(form, kEditTab);
    const QStringList before = table(sandbox);

    for (Answer answer : {Answer::No, Answer::Escape, Answer::CloseBox}) {
        type(form, form->Edit3, QStringLiteral("x")); // an unsaved edit stays too
        auto shown = answerConfirmation(answer);
        click(form->Button5);
        QVERIFY(*shown);
        QVERIFY(!OKBottomDlg->isVisible());
        QCOMPARE(OKBottomDlg->result(), mrCancel);
        QCOMPARE(table(sandbox), before);
        QCOMPARE(form->Edit2->text(), QStringLiteral("alpha"));
        QVERIFY(form->Edit3->text().startsWith(QStringLiteral("Ax")));
        QVERIFY(form->Button2->isEnabled());
        QCOMPARE(form->DBEdit1->text(), QStringLiteral("A"));
    }
    QVERIFY(app.boxes().empty());
    QCOMPARE(OKBottomDlg->windowTitle(), QStringLiteral("You want to nuke the record?"));
    QCOMPARE(OKBottomDlg->Label1->text(),
             QStringLiteral("You have selected to delete the current record."));
    QCOMPARE(OKBottomDlg->Label2->text(), QStringLiteral("Are you sure?"));
}

void TestEntryEditing::deleteConfirmedMovesToTheFollowingRecord() {
    Sandbox sandbox;
    sandbox.createTable(
        {contact("alpha", "A", 1), contact("beta", "B", -2), contact("carol", "C", 6)});
    MainWindowFixture app;
    TForm1* form = app.form();
    clickTab(form, kEditTab);
    click(form->Button7);
    QCOMPARE(form->Edit2->text(), QStringLiteral("beta"));
    type(form, form->Edit3, QStringLiteral("unsaved"));

    auto shown = answerConfirmation(Answer::Yes);
    click(form->Button5);
    QVERIFY(*shown);
    QStringList rows = table(sandbox);
    QCOMPARE(rows.size(), 2);
    QVERIFY(rows[0].startsWith(QStringLiteral("alpha|")));
    QVERIFY(rows[1].startsWith(QStringLiteral("carol|")));
    // The record that followed is loaded, with its offset.
    QCOMPARE(form->Edit2->text(), QStringLiteral("carol"));
    QCOMPARE(form->Edit3->text(), QStringLiteral("C"));
    QCOMPARE(form->SpinEdit1->Value(), 6);
    QVERIFY(near(form->TimeDisplacement(), 6 / 24.0));
    QVERIFY(!form->Button2->isEnabled());
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("C"));

    // Tab takes the focus to "No", and Enter there answers No. The next showing starts on
    // "Yes" again.
    shown = answerConfirmation(Answer::TabEnter);
    click(form->Button5);
    QVERIFY(*shown);
    QCOMPARE(OKBottomDlg->result(), mrCancel);
    QCOMPARE(table(sandbox).size(), 2);

    // Deleting the last record in nick order makes the new last one current; Enter answers Yes.
    shown = answerConfirmation(Answer::Enter);
    click(form->Button5);
    QVERIFY(*shown);
    QCOMPARE(table(sandbox).size(), 1);
    QCOMPARE(form->Edit2->text(), QStringLiteral("alpha"));
    QCOMPARE(form->SpinEdit1->Value(), 1);
    QVERIFY(near(form->TimeDisplacement(), 1 / 24.0));
    QVERIFY(app.boxes().empty());
}

void TestEntryEditing::deletingTheOnlyContactEmptiesTableAndBoxes() {
    Sandbox sandbox;
    ContactRow only = fullContact("solo", "Solo", "Here", "s@example.org", "notes", -4);
    sandbox.createTable({only});
    MainWindowFixture app;
    TForm1* form = app.form();
    clickTab(form, kEditTab);
    QCOMPARE(form->SpinEdit1->Value(), -4);

    auto shown = answerConfirmation(Answer::Yes);
    click(form->Button5);
    QVERIFY(*shown);
    QVERIFY(readContacts(sandbox.dbPath()).empty());
    for (QLineEdit* box : {form->Edit2, form->Edit3, form->Edit4, form->Edit5})
        QVERIFY(box->text().isEmpty());
    QVERIFY(form->Memo1->toPlainText().isEmpty());
    QVERIFY(!form->Image2->isVisibleTo(form->Panel3));
    QVERIFY(form->currentPicturePath().isEmpty());
    QVERIFY(form->DBEdit1->text().isEmpty());
    // The spin box keeps its value; the offset follows it.
    QCOMPARE(form->SpinEdit1->Value(), -4);
    QVERIFY(near(form->TimeDisplacement(), -4 / 24.0));
    QVERIFY(!form->Button2->isEnabled());
    QVERIFY(app.boxes().empty());

    // A second Delete is refused before any question is asked.
    shown = answerConfirmation(Answer::No, 300);
    click(form->Button5);
    QTest::qWait(400); // let the watch for a dialog run out
    QVERIFY(!*shown);
    QCOMPARE(app.boxTexts(), QStringList{kNothingToDelete});
    QCOMPARE(app.boxes()[0].kind, BoxKind::Information);
    QVERIFY(readContacts(sandbox.dbPath()).empty());

    // A switch attempt on the empty table, then a new contact with the hours still shown:
    // hours and days are stored in agreement.
    app.clearBoxes();
    clickTab(form, kViewTab);
    QCOMPARE(app.boxTexts(), QStringList{kNoRecords});
    QVERIFY(near(form->TimeDisplacement(), -4 / 24.0));
    type(form, form->Edit2, QStringLiteral("next"));
    click(form->Button2);
    const std::vector<ContactRow> rows = readContacts(sandbox.dbPath());
    QCOMPARE(rows.size(), size_t(1));
    QCOMPARE(rows[0].nick, QStringLiteral("next"));
    QCOMPARE(rows[0].spin, std::optional<int>(-4));
    QVERIFY(rows[0].timeDisplacement && near(*rows[0].timeDisplacement, -4 / 24.0));
}

void TestEntryEditing::updateOnEmptyTableCreatesTheFirstRecord() {
    Sandbox sandbox;
    sandbox.createTable();
    MainWindowFixture app;
    TForm1* form = app.form();
    QCOMPARE(app.boxTexts(), QStringList{kNoRecords});
    QCOMPARE(app.boxes()[0].kind, BoxKind::Information);
    QCOMPARE(form->PageControl1->currentWidget(), form->TabSheet2);
    QVERIFY(form->Button2->isEnabled());
    app.clearBoxes();

    type(form, form->Edit2, QStringLiteral("first"));
    type(form, form->Edit3, QStringLiteral("First One"));
    typeSpin(form, QStringLiteral("-2"));
    click(form->Button2);
    QVERIFY(app.boxes().empty());
    const std::vector<ContactRow> rows = readContacts(sandbox.dbPath());
    QCOMPARE(rows.size(), size_t(1));
    QCOMPARE(rows[0].nick, QStringLiteral("first"));
    QCOMPARE(rows[0].name, QStringLiteral("First One"));
    QCOMPARE(rows[0].spin, std::optional<int>(-2));
    QVERIFY(rows[0].timeDisplacement && near(*rows[0].timeDisplacement, -2 / 24.0));
    QVERIFY(!form->Button2->isEnabled());
    // The View tab shows it at once; the clocks were refreshed by the update.
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("First One"));
    QVERIFY(form->Label6->text() != QStringLiteral("Their_Time_Caption"));

    clickTab(form, kViewTab);
    QCOMPARE(form->PageControl1->currentWidget(), form->TabSheet1);
    QCOMPARE(form->Edit1->text(), QStringLiteral("first"));
    QCOMPARE(readContacts(sandbox.dbPath()).size(), size_t(1));
    QVERIFY(app.boxes().empty());
}

void TestEntryEditing::tabSwitchOnEmptyTableKeepsTheEditTab() {
    Sandbox sandbox;
    sandbox.createTable({contact("gone", "G")});
    MainWindowFixture app;
    TForm1* form = app.form();
    QCOMPARE(form->Edit1->text(), QStringLiteral("gone"));
    clickTab(form, kEditTab);
    auto shown = answerConfirmation(Answer::Yes);
    click(form->Button5);
    QVERIFY(*shown);
    QVERIFY(readContacts(sandbox.dbPath()).empty());
    type(form, form->Edit3, QStringLiteral("x"));
    QVERIFY(form->Button2->isEnabled());

    // The search box still shows the deleted nick; the switch empties it, says why, and stays.
    QCOMPARE(form->Edit1->text(), QStringLiteral("gone"));
    clickTab(form, kViewTab);
    QCOMPARE(app.boxTexts(), QStringList{kNoRecords});
    QCOMPARE(form->PageControl1->currentWidget(), form->TabSheet2);
    QVERIFY(form->Edit1->text().isEmpty());
    QVERIFY(form->Button2->isEnabled()); // the flag keeps its state
    QVERIFY(readContacts(sandbox.dbPath()).empty());

    // Again, now with an empty search box: the same message, the same tab.
    app.clearBoxes();
    clickTab(form, kViewTab);
    QCOMPARE(app.boxTexts(), QStringList{kNoRecords});
    QCOMPARE(form->PageControl1->currentWidget(), form->TabSheet2);

    // New Entry on the empty table, then a switch: the blank entry goes and the table is empty.
    app.clearBoxes();
    click(form->Button1);
    QCOMPARE(readContacts(sandbox.dbPath()).size(), size_t(1));
    clickTab(form, kViewTab);
    QVERIFY(readContacts(sandbox.dbPath()).empty());
    QVERIFY(app.boxes().empty());
    QVERIFY(!form->Button2->isEnabled());
}

QTEST_MAIN(TestEntryEditing)
#include "test_entry_editing.moc"
