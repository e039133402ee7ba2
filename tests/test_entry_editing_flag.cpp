// The Update Entry flag (set by keys and the spin box, never by program writes or a mouse
// paste) and stepping on the Edit/Add tab, which discards unsaved edits and takes the offset
// from the contact's hours.

#include "main_window/db_controls.h"
#include "main_window/spin_edit.h"
#include "main_window/tform1.h"
#include "store/schema.h"
#include "store/table.h"
#include "tests/support/edit_tab_actions.h"
#include "tests/support/main_window_fixture.h"
#include "tests/support/sandbox.h"
#include "widgets/message_box.h"
#include "widgets/panel.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

using namespace palvane;
using namespace palvane::test;

namespace {

bool near(double a, double b) {
    return qAbs(a - b) < 1e-9;
}

} // namespace

class TestEntryEditingFlag : public QObject {
    Q_OBJECT

private slots:
    void onlyKeysAndTheSpinBoxSetTheFlag();
    void outOfRangeOffsetIsSettledBeforeTheUpdate();
    void steppingLoadsTheSpinAndDiscardsUnsavedEdits();
    void steppingTakesTheOffsetFromTheSpinNotFromTheDays();
};

void TestEntryEditingFlag::onlyKeysAndTheSpinBoxSetTheFlag() {
    Sandbox sandbox;
    sandbox.createTable({contact("alpha", "A", 0), contact("beta", "B", 0)});
    MainWindowFixture app;
    TForm1* form = app.form();
    clickTab(form, kEditTab);
    QVERIFY(!form->Button2->isEnabled());
    auto reset = [&] {
        click(form->Button6);
        QVERIFY(!form->Button2->isEnabled());
    };

    // Program writes and a mouse paste change the text without a key: no flag.
    form->Edit3->setText(QStringLiteral("set by program"));
    QVERIFY(!form->Button2->isEnabled());
    QGuiApplication::clipboard()->setText(QStringLiteral(" pasted"));
    form->Edit3->setCursorPosition(form->Edit3->text().size());
    form->Edit3->paste();
    QCOMPARE(form->Edit3->text(), QStringLiteral("set by program pasted"));
    QVERIFY(!form->Button2->isEnabled());
    form->Memo1->setPlainText(QStringLiteral("program notes"));
    form->Memo1->paste();
    QVERIFY(!form->Button2->isEnabled());

    // A character typed in Edit3 does.
    type(form, form->Edit3, QStringLiteral("k"));
    QVERIFY(form->Button2->isEnabled());
    reset();
    QCOMPARE(form->Edit3->text(), QStringLiteral("A")); // the edits went with the move

    // Arrows in Edit3 are not characters; Backspace is.
    focus(form, form->Edit3);
    QTest::keyClick(form->Edit3, Qt::Key_Left);
    QTest::keyClick(form->Edit3, Qt::Key_End);
    QVERIFY(!form->Button2->isEnabled());
    QTest::keyClick(form->Edit3, Qt::Key_Backspace);
    QVERIFY(form->Button2->isEnabled());
    reset();

    // Any key going down in the nick box counts, Shift and arrows included.
    focus(form, form->Edit2);
    QTest::keyClick(form->Edit2, Qt::Key_Shift);
    QVERIFY(form->Button2->isEnabled());
    reset();
    focus(form, form->Edit2);
    QTest::keyClick(form->Edit2, Qt::Key_Right);
    QVERIFY(form->Button2->isEnabled());
    reset();

    for (QWidget* box : std::initializer_list<QWidget*>{form->Edit4, form->Edit5, form->Memo1}) {
        type(form, box, QStringLiteral("q"));
        QVERIFY2(form->Button2->isEnabled(), qPrintable(box->objectName()));
        reset();
    }

    // The spin box: the arrows (through its change handler), the Up key and typed digits.
    form->SpinEdit1->stepUp();
    QVERIFY(form->Button2->isEnabled());
    QCOMPARE(form->SpinEdit1->Value(), 1);
    QVERIFY(near(form->TimeDisplacement(), 1 / 24.0));
    reset();
    QCOMPARE(form->SpinEdit1->Value(), 0);
    focus(form, form->SpinEdit1);
    QTest::keyClick(form->SpinEdit1, Qt::Key_Up);
    QVERIFY(form->Button2->isEnabled());
    reset();
    typeSpin(form, QStringLiteral("0")); // the same value typed again: the key still counts
    QVERIFY(form->Button2->isEnabled());
    reset();

    // New Entry sets the flag itself, also when the spin box keeps its 0.
    click(form->Button1);
    QVERIFY(form->Button2->isEnabled());
    clickTab(form, kViewTab);
    QVERIFY(!form->Button2->isEnabled());
    QCOMPARE(readContacts(sandbox.dbPath()).size(), size_t(2));
    QVERIFY(app.boxes().empty());
}

void TestEntryEditingFlag::outOfRangeOffsetIsSettledBeforeTheUpdate() {
    Sandbox sandbox;
    sandbox.createTable({contact("alpha", "A", 0)});
    MainWindowFixture app;
    TForm1* form = app.form();
    clickTab(form, kEditTab);

    // 30 stands while the box has the focus; clicking Update Entry takes the focus away first.
    typeSpin(form, QStringLiteral("30"));
    QCOMPARE(form->SpinEdit1->Value(), 30);
    QVERIFY(near(form->TimeDisplacement(), 30 / 24.0));
    click(form->Button2);
    QCOMPARE(form->SpinEdit1->text(), QStringLiteral("24"));
    std::vector<ContactRow> rows = readContacts(sandbox.dbPath());
    QCOMPARE(rows[0].spin, std::optional<int>(24));
    QVERIFY(rows[0].timeDisplacement && near(*rows[0].timeDisplacement, 1.0));

    // A lone minus sign reads as the lower bound.
    typeSpin(form, QStringLiteral("-"));
    click(form->Button2);
    rows = readContacts(sandbox.dbPath());
    QCOMPARE(rows[0].spin, std::optional<int>(-24));
    QVERIFY(rows[0].timeDisplacement && near(*rows[0].timeDisplacement, -1.0));
    QVERIFY(app.boxes().empty());
}

void TestEntryEditingFlag::steppingLoadsTheSpinAndDiscardsUnsavedEdits() {
    Sandbox sandbox;
    ContactRow blankSpin = contact("carol", "C");
    blankSpin.spin = std::nullopt;
    blankSpin.timeDisplacement = std::nullopt;
    sandbox.createTable({contact("alpha", "A", 2), contact("beta", "B", -5), blankSpin});
    MainWindowFixture app;
    TForm1* form = app.form();
    clickTab(form, kEditTab);
    const QStringList before = table(sandbox);

    click(form->Button7);
    QCOMPARE(form->Edit2->text(), QStringLiteral("beta"));
    QCOMPARE(form->SpinEdit1->Value(), -5);
    QVERIFY(near(form->TimeDisplacement(), -5 / 24.0));
    QVERIFY(!form->Button2->isEnabled());

    // Unsaved edits go with the move, without a question.
    type(form, form->Edit3, QStringLiteral("lost"));
    typeSpin(form, QStringLiteral("9"));
    QVERIFY(form->Button2->isEnabled());
    click(form->Button6);
    QVERIFY(app.boxes().empty());
    QCOMPARE(form->Edit2->text(), QStringLiteral("alpha"));
    QCOMPARE(form->SpinEdit1->Value(), 2);
    QVERIFY(near(form->TimeDisplacement(), 2 / 24.0));
    QVERIFY(!form->Button2->isEnabled());
    QCOMPARE(table(sandbox), before);
    click(form->Button7);
    QCOMPARE(form->Edit3->text(), QStringLiteral("B"));
    QCOMPARE(form->SpinEdit1->Value(), -5);

    // A blank "IRC Spin" reads as 0; at the last record Next stays, at the first Previous.
    click(form->Button7);
    QCOMPARE(form->Edit2->text(), QStringLiteral("carol"));
    QCOMPARE(form->SpinEdit1->Value(), 0);
    QCOMPARE(form->TimeDisplacement(), 0.0);
    click(form->Button7);
    QCOMPARE(form->Edit2->text(), QStringLiteral("carol"));
    for (int i = 0; i < 3; ++i)
        click(form->Button6);
    QCOMPARE(form->Edit2->text(), QStringLiteral("alpha"));
    QCOMPARE(form->SpinEdit1->Value(), 2);
    // Stepping on this tab does not touch the View tab's search box.
    QCOMPARE(form->Edit1->text(), QStringLiteral("alpha"));
    QCOMPARE(table(sandbox), before);
    QVERIFY(app.boxes().empty());
}

void TestEntryEditingFlag::steppingTakesTheOffsetFromTheSpinNotFromTheDays() {
    Sandbox sandbox;
    // Two contacts with the same hours; beta's days were written by another program and
    // disagree with its hours.
    ContactRow beta = contact("beta", "B", 2);
    beta.timeDisplacement = 0.5;
    sandbox.createTable({contact("alpha", "A", 2), beta});
    MainWindowFixture app;
    TForm1* form = app.form();
    clickTab(form, kEditTab);
    QCOMPARE(form->SpinEdit1->Value(), 2);
    QVERIFY(near(form->TimeDisplacement(), 2 / 24.0));

    // The View tab's search takes the days as stored.
    clickTab(form, kViewTab);
    QTest::mouseClick(form->Button3, Qt::LeftButton);
    QCOMPARE(form->Edit1->text(), QStringLiteral("beta"));
    QCOMPARE(form->TimeDisplacement(), 0.5);

    // On the Edit/Add tab the spin box shows 2 throughout, so it raises no change; stepping
    // still sets the offset from the hours.
    clickTab(form, kEditTab);
    QCOMPARE(form->Edit2->text(), QStringLiteral("beta"));
    QCOMPARE(form->SpinEdit1->Value(), 2);
    click(form->Button6);
    QCOMPARE(form->Edit2->text(), QStringLiteral("alpha"));
    QVERIFY(near(form->TimeDisplacement(), 2 / 24.0));
    clickTab(form, kViewTab);
    QTest::mouseClick(form->Button3, Qt::LeftButton);
    QCOMPARE(form->TimeDisplacement(), 0.5);
    clickTab(form, kEditTab);
    click(form->Button7); // at the last record: stays on beta, offset from the hours
    QCOMPARE(form->Edit2->text(), QStringLiteral("beta"));
    QVERIFY(near(form->TimeDisplacement(), 2 / 24.0));
    QVERIFY(app.boxes().empty());
}

QTEST_MAIN(TestEntryEditingFlag)
#include "test_entry_editing_flag.moc"
