// The main window's start, browsing, pictures and the two ways to leave.

#include "app/window_set.h"
#include "main_window/db_controls.h"
#include "main_window/tform1.h"
#include "side_windows/picture_box.h"
#include "store/table.h"
#include "tests/support/main_window_fixture.h"
#include "tests/support/sandbox.h"
#include "widgets/error_report.h"
#include "widgets/panel.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "widgets/open_dialog.h"

using namespace palvane;
using namespace palvane::test;

namespace {

ContactRow fullContact(const QString& nick, const QString& name, const QString& email,
                       const QString& location, const QString& notes, int hours) {
    ContactRow row = contact(nick, name, hours);
    row.email = email;
    row.location = location;
    row.notes = notes;
    return row;
}

QString makeBitmap(const QString& path, const QColor& colour) {
    QImage image(20, 10, QImage::Format_RGB32);
    image.fill(colour);
    image.save(path, "BMP");
    return QDir(path).absolutePath();
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void startsOnTheFirstContactWithItsDetails();
    void layoutCarriesTheNamedControlsAndTexts();
    void emptyTableShowsTheInformationBoxAndTheEditTab();
    void missingDataDirectoryReportsOnceThenEveryTableCommand();
    void nextAndPreviousStopAtBothEnds();
    void picturesFollowTheContact();
    void missingPictureFileIsReportedAndBoxesStayVisible();
    void errorReportAlwaysAppendsAFullStop();
    void exitLeavesWithoutClosingTheWindow();
};

void TestMainWindow::startsOnTheFirstContactWithItsDetails() {
    Sandbox sandbox;
    // Natural order first is "zed", although it is last in nick order.
    sandbox.createTable(
        {fullContact("zed", "Zed Last", "zed@example.org", "Oslo", "line one\nline two", 1),
         fullContact("alpha", "Alpha First", "a@example.org", "Rome", "", 2),
         fullContact("mid", "Mid Dle", "m@example.org", "Lima", "", -5)});
    MainWindowFixture app;
    TForm1* form = app.form();

    QVERIFY(app.boxes().empty());
    QCOMPARE(form->windowTitle(), QStringLiteral("Palvane 32 v1.3"));
    QCOMPARE(form->PageControl1->currentWidget(), form->TabSheet1);
    QCOMPARE(form->Edit1->text(), QStringLiteral("zed"));
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("Zed Last"));
    QCOMPARE(form->DBEdit3->text(), QStringLiteral("zed@example.org"));
    QCOMPARE(form->DBEdit2->text(), QStringLiteral("Oslo"));
    QCOMPARE(form->DBMemo1->toPlainText(), QStringLiteral("line one\nline two"));
    QVERIFY(form->DBEdit1->isReadOnly());
    QVERIFY(form->DBMemo1->isReadOnly());
    // The start-up search loaded the contact's offset, and the clocks were written at once.
    QCOMPARE(form->TimeDisplacement(), 1 / 24.0);
    QVERIFY(form->Label1->text() != QStringLiteral("Local_Time_Caption"));
    QVERIFY(form->Label13->text() != QStringLiteral("Their_Date_Caption"));
    // First run without a settings file: the default position.
    QCOMPARE(form->pos(), QPoint(226, 167));
    // The first search selected the nick index: Next now follows nick order, and zed is last.
    QTest::mouseClick(form->Button3, Qt::LeftButton);
    QCOMPARE(form->Edit1->text(), QStringLiteral("zed"));
    QTest::mouseClick(form->Button4, Qt::LeftButton);
    QCOMPARE(form->Edit1->text(), QStringLiteral("mid"));
    QCOMPARE(form->DBEdit2->text(), QStringLiteral("Lima"));
    QVERIFY(app.boxes().empty());
}

void TestMainWindow::layoutCarriesTheNamedControlsAndTexts() {
    Sandbox sandbox;
    sandbox.createTable({contact("one")});
    MainWindowFixture app;
    TForm1* form = app.form();

    QCOMPARE(form->PageControl1->count(), 2);
    QCOMPARE(form->PageControl1->tabText(0), QStringLiteral("View"));
    QCOMPARE(form->PageControl1->tabText(1), QStringLiteral("Edit/Add"));
    QCOMPARE(form->File1->title(), QStringLiteral("&File"));
    QCOMPARE(form->Exit1->text(), QStringLiteral("&Exit"));
    QCOMPARE(form->About1->text(), QStringLiteral("&About"));
    QVERIFY(!form->About1->menu());
    // Fixed size: the client area below the menu bar is 570 x 329, each page 562 x 299, so
    // that the strips placed at the bottom end at the page's right and bottom edges.
    QCOMPARE(form->centralWidget()->width(), 570);
    // (a page is sized when it is shown: the hidden one takes the size of the stack it is in)
    QCOMPARE(form->TabSheet1->size(), QSize(562, 299));
    QCOMPARE(form->TabSheet2->parentWidget()->size(), QSize(562, 299));
    QCOMPARE(form->Panel5->geometry().bottomRight(), form->TabSheet1->rect().bottomRight());
    QCOMPARE(form->Panel3->geometry().bottomRight(),
             form->TabSheet2->parentWidget()->rect().bottomRight());
    QCOMPARE(form->minimumSize(), form->maximumSize());
    QVERIFY(!(form->windowFlags() & Qt::WindowMaximizeButtonHint));

    const QString picture = QStringLiteral("Picture:");
    QCOMPARE(form->Panel2->caption(),
             QString(8, ' ') + picture + QString(80, ' ') + QStringLiteral("Notes:"));
    QCOMPARE(form->Panel4->caption(),
             QString(6, ' ') + picture + QString(82, ' ') + QStringLiteral("Notes:"));

    struct Expected {
        const char* name;
        const char* text;
    };
    for (const Expected& e :
         {Expected{"Label7", "Nick"}, Expected{"Label8", "Real Name"},
          Expected{"Label19", "E-Mail"}, Expected{"Label9", "Location"}, Expected{"Label3", "Nick"},
          Expected{"Label4", "Real Name"}, Expected{"Label20", "E-Mail"},
          Expected{"Label5", "Location"}, Expected{"Label11", "Local Time:"},
          Expected{"Label15", "Local Date:"}, Expected{"Label12", "Their Time:"},
          Expected{"Label14", "Their Date:"}, Expected{"Hour12Def", "Their Time:"},
          Expected{"Label18", "Their Date:"}, Expected{"Label10", "Their time offset in hours:"}}) {
        auto* label = form->findChild<QLabel*>(QLatin1String(e.name));
        QVERIFY2(label, e.name);
        QCOMPARE(label->text(), QLatin1String(e.text));
        // Row captions end at x = 69.
        if (QByteArray(e.name).startsWith("Label") && label->parentWidget() != form->Panel6 &&
            label->parentWidget() != form->Panel7)
            QCOMPARE(label->geometry().right() + 1, 69);
    }
    for (const Expected& e :
         {Expected{"Button4", "Previous Record"}, Expected{"Button3", "Next Record"},
          Expected{"Button2", "Update Entry"}, Expected{"Button1", "New Entry"},
          Expected{"Button5", "Delete Entry"}, Expected{"Button6", "Previous Record"},
          Expected{"Button7", "Next Record"}, Expected{"Button8", "Add"},
          Expected{"Button9", "Clear"}}) {
        auto* b = form->findChild<QPushButton*>(QLatin1String(e.name));
        QVERIFY2(b, e.name);
        QCOMPARE(b->text(), QLatin1String(e.text));
    }
    QCOMPARE(form->Button4->geometry(), QRect(152, 144, 105, 25));
    QCOMPARE(form->Edit1->geometry(), QRect(80, 8, 169, 23));
    QCOMPARE(form->DBEdit2->geometry(), QRect(80, 104, 169, 23));
    QCOMPARE(form->Panel6->geometry(), QRect(272, 8, 273, 121));
    QCOMPARE(form->Panel7->geometry(), QRect(256, 8, 281, 89));
    QCOMPARE(form->Image1->geometry(), QRect(16, 4, 73, 74));
    QCOMPARE(form->Timer1->interval(), 250);
    QVERIFY(form->Timer1->isActive());
    // The banner's steps and its 2000 ms hold are exact intervals, not ones Qt may stretch.
    QCOMPARE(form->Timer2->timerType(), Qt::PreciseTimer);
    QCOMPARE(form->OpenDialog1->Filter, QStringLiteral("Image File (*.bmp)"));
    QCOMPARE(
        form->Edit1->toolTip(),
        QStringLiteral("Type in a persons name here, and the closest match will be displayed"));
    QCOMPARE(form->PageControl1->toolTip(), QStringLiteral("To edit, switch to the Edit/Add tab"));
    QVERIFY(form->Button2->isEnabled());

    // The View tab's focus order: Next, Previous, search box, name, e-mail, location, notes.
    QList<QWidget*> order;
    QWidget* w = form->Button3;
    for (int i = 0; i < 7; ++i) {
        order << w;
        w = w->nextInFocusChain();
        while (w && w->focusPolicy() == Qt::NoFocus)
            w = w->nextInFocusChain();
    }
    const QList<QWidget*> expected{form->Button3, form->Button4, form->Edit1,
                                   form->DBEdit1, form->DBEdit3, form->DBEdit2};
    QCOMPARE(order.mid(0, 6), expected);
}

void TestMainWindow::emptyTableShowsTheInformationBoxAndTheEditTab() {
    Sandbox sandbox;
    sandbox.createTable();
    MainWindowFixture app;
    TForm1* form = app.form();

    QCOMPARE(app.boxes().size(), size_t(1));
    QCOMPARE(app.boxes()[0].kind, BoxKind::Information);
    QCOMPARE(app.boxes()[0].caption, QStringLiteral("Information"));
    QCOMPARE(app.boxes()[0].text,
             QStringLiteral("There are no records in the current database. Please make an entry."));
    QCOMPARE(form->PageControl1->currentWidget(), form->TabSheet2);
    QCOMPARE(form->Label1->text(), QStringLiteral("Local_Time_Caption"));
    QCOMPARE(form->Label2->text(), QStringLiteral("Their_Time_Caption"));
    QCOMPARE(form->Label6->text(), QStringLiteral("Their_Time_Caption"));
    QCOMPARE(form->Label17->text(), QStringLiteral("Their_Date_Caption"));
    QVERIFY(form->Edit1->text().isEmpty());
    // The first clock tick writes local time and date; with no offset theirs equal them.
    form->Timer1Timer();
    QCOMPARE(form->Label2->text(), form->Label1->text());
    QCOMPARE(form->Label13->text(), form->Label16->text());
}

void TestMainWindow::missingDataDirectoryReportsOnceThenEveryTableCommand() {
    Sandbox sandbox; // no data/ directory at all
    MainWindowFixture app;
    TForm1* form = app.form();

    QCOMPARE(app.boxes().size(), size_t(1));
    QCOMPARE(app.boxes()[0].kind, BoxKind::Error);
    QCOMPARE(app.boxes()[0].caption, QStringLiteral("Palvane 32 v1.3"));
    QVERIFY2(app.boxes()[0].text.contains(QStringLiteral("data")), qPrintable(app.boxes()[0].text));
    QVERIFY(app.boxes()[0].text.endsWith('.'));
    QVERIFY(form->isVisible());
    QVERIFY(!form->Table1->active());

    const QString closed = QStringLiteral("Cannot perform this operation on a closed dataset.");
    app.clearBoxes();
    QTest::mouseClick(form->Button3, Qt::LeftButton);
    QCOMPARE(app.boxTexts(), QStringList{closed});
    app.clearBoxes();
    QTest::mouseClick(form->Button4, Qt::LeftButton);
    QCOMPARE(app.boxTexts(), QStringList{closed});
    // The clocks do not touch the table and keep working.
    app.clearBoxes();
    form->Timer1Timer();
    QVERIFY(app.boxes().empty());
    QVERIFY(form->Label1->text() != QStringLiteral("Local_Time_Caption"));
    // Closing still works (the position is written, closing a closed table is harmless).
    form->close();
    QVERIFY(app.boxes().empty());
    QVERIFY(QFile::exists(sandbox.iniPath()));
}

void TestMainWindow::nextAndPreviousStopAtBothEnds() {
    Sandbox sandbox;
    sandbox.createTable({contact("a1", "A"), contact("b2", "B"), contact("c3", "C")});
    MainWindowFixture app;
    TForm1* form = app.form();

    QCOMPARE(form->Edit1->text(), QStringLiteral("a1"));
    QTest::mouseClick(form->Button4, Qt::LeftButton);
    QCOMPARE(form->Edit1->text(), QStringLiteral("a1"));
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("A"));
    QTest::mouseClick(form->Button3, Qt::LeftButton);
    QTest::mouseClick(form->Button3, Qt::LeftButton);
    QCOMPARE(form->Edit1->text(), QStringLiteral("c3"));
    QTest::mouseClick(form->Button3, Qt::LeftButton);
    QCOMPARE(form->Edit1->text(), QStringLiteral("c3"));
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("C"));
    // Browsing on the View tab leaves the spin box and the Update Entry button alone.
    QVERIFY(form->Button2->isEnabled());
    QVERIFY(app.boxes().empty());
}

void TestMainWindow::picturesFollowTheContact() {
    Sandbox sandbox;
    const QString red = makeBitmap(sandbox.path() + "/red.bmp", Qt::red);
    sandbox.createTable({contact("first", "", 0, red), contact("second")});
    MainWindowFixture app;
    TForm1* form = app.form();

    QVERIFY(form->Image1->isVisibleTo(form->Panel1));
    QVERIFY(form->Image2->isVisibleTo(form->Panel3));
    QCOMPARE(form->currentPicturePath(), red);
    QCOMPARE(form->Image1->picture().size(), QSize(20, 10));
    QCOMPARE(form->Image2->picture().size(), QSize(20, 10));

    QTest::mouseClick(form->Button3, Qt::LeftButton);
    QCOMPARE(form->Edit1->text(), QStringLiteral("second"));
    QVERIFY(!form->Image1->isVisibleTo(form->Panel1));
    QVERIFY(!form->Image2->isVisibleTo(form->Panel3));
    QVERIFY(form->currentPicturePath().isEmpty());
    QVERIFY(app.boxes().empty());
}

void TestMainWindow::missingPictureFileIsReportedAndBoxesStayVisible() {
    Sandbox sandbox;
    const QString red = makeBitmap(sandbox.path() + "/red.bmp", Qt::red);
    const QString gone = sandbox.path() + "/gone.bmp";
    sandbox.createTable({contact("first", "", 0, red), contact("second", "", 0, gone)});
    MainWindowFixture app;
    TForm1* form = app.form();
    QVERIFY(app.boxes().empty());

    QTest::mouseClick(form->Button3, Qt::LeftButton);
    QCOMPARE(app.boxTexts(), QStringList{QStringLiteral("Cannot open file ") + gone + '.'});
    QCOMPARE(app.boxes()[0].kind, BoxKind::Error);
    // The rule showed the boxes and took the path before loading: the old picture stays.
    QCOMPARE(form->Edit1->text(), QStringLiteral("second"));
    QCOMPARE(form->currentPicturePath(), gone);
    QVERIFY(form->Image1->isVisibleTo(form->Panel1));
    QVERIFY(form->Image2->isVisibleTo(form->Panel3));
    QCOMPARE(form->Image1->picture().size(), QSize(20, 10));
}

void TestMainWindow::errorReportAlwaysAppendsAFullStop() {
    Sandbox sandbox;
    auto& boxes = message_box_seam::recordAll();
    reportError(Error(QStringLiteral("Disk on fire.")));
    reportError(SilentAbort());
    QVERIFY(guarded([] { throw Error(QStringLiteral("x")); }) == false);
    QVERIFY(guarded([] {}));
    QCOMPARE(boxes.size(), size_t(2));
    QCOMPARE(boxes[0].text, QStringLiteral("Disk on fire.."));
    QCOMPARE(boxes[0].caption, QStringLiteral("Palvane 32 v1.3"));
    QCOMPARE(boxes[0].kind, BoxKind::Error);
    QCOMPARE(boxes[1].text, QStringLiteral("x."));
    message_box_seam::uninstall();
}

void TestMainWindow::exitLeavesWithoutClosingTheWindow() {
    Sandbox sandbox;
    sandbox.createTable({contact("one")});
    MainWindowFixture app;
    TForm1* form = app.form();
    form->move(300, 200);

    form->Exit1->trigger();
    QTest::qWait(10);
    // Nothing was written and the table is still open: the process end releases it.
    QVERIFY(!QFile::exists(sandbox.iniPath()));
    QVERIFY(form->Table1->active());
    QVERIFY(app.boxes().empty());
}

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
