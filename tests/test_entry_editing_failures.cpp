// Entry editing when the table refuses: a read-only table and a table that never opened. Each
// command reports the table's error, stops there, and the program goes on.

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
#include "widgets/open_dialog.h"
#include "widgets/panel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <memory>

#include <sqlite3.h>

using namespace palvane;
using namespace palvane::test;

namespace {

const QString kReadOnly = QStringLiteral("Cannot modify a read-only dataset.");
const QString kClosed = QStringLiteral("Cannot perform this operation on a closed dataset.");

// Another program writing the table: a connection in a write transaction of its own, or the
// table tool importing a file that arrives slowly, which holds the lock all the while.
class OtherWriter {
public:
    OtherWriter(const QString& table, bool import) : table_(table) {
        if (!import) {
            sqlite3_open_v2(table.toUtf8().constData(), &db_, SQLITE_OPEN_READWRITE, nullptr);
            sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
            return;
        }
        process_.start(
            QStringLiteral(PALVANE_TABLE_TOOL),
            {QStringLiteral("import"), QStringLiteral("-"), QStringLiteral("--table"), table});
        process_.waitForStarted(30000);
        process_.write("IRC Nick\nimported\n");
        process_.waitForBytesWritten(30000);
        // Until the import has the lock, a write of ours still goes through.
        QElapsedTimer waited;
        waited.start();
        for (;;) {
            sqlite3* probe = nullptr;
            sqlite3_open_v2(table.toUtf8().constData(), &probe, SQLITE_OPEN_READWRITE, nullptr);
            const int rc = sqlite3_exec(probe, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
            sqlite3_exec(probe, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_close(probe);
            if (rc == SQLITE_BUSY || waited.elapsed() > 30000)
                break;
            QThread::msleep(20);
        }
    }
    // Ends the write: the transaction rolled back, or the import's file complete.
    bool finish() {
        if (db_) {
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_close(db_);
            db_ = nullptr;
            return true;
        }
        process_.closeWriteChannel();
        return process_.waitForFinished(30000) && process_.exitCode() == 0;
    }
    ~OtherWriter() {
        if (db_)
            finish();
        process_.kill();
        process_.waitForFinished(30000);
    }

private:
    QString table_;
    sqlite3* db_ = nullptr;
    QProcess process_;
};

// Answers the delete confirmation with Yes when it shows; the flag tells whether it showed.
std::shared_ptr<bool> confirmDelete(int timeoutMs = 5000) {
    auto shown = std::make_shared<bool>(false);
    onNextModal(
        [shown](QWidget* modal) {
            if (auto* dialog = qobject_cast<TOKBottomDlg*>(modal)) {
                *shown = true;
                QTest::mouseClick(dialog->OKBtn, Qt::LeftButton);
            } else {
                modal->close();
            }
        },
        timeoutMs);
    return shown;
}

} // namespace

class TestEntryEditingFailures : public QObject {
    Q_OBJECT

private slots:
    void readOnlyTableRefusesEveryChange();
    void closedTableReportsEveryCommandAndTheProgramGoesOn();
    void refusedStoreKeepsTheEditsForTheNextUpdate_data();
    void refusedStoreKeepsTheEditsForTheNextUpdate();
};

void TestEntryEditingFailures::readOnlyTableRefusesEveryChange() {
    Sandbox sandbox;
    sandbox.createTable({contact("alpha", "A", 1), contact("beta", "B", 2)});
    MainWindowFixture app;
    TForm1* form = app.form();
    // File permissions do not stop root, so the table is opened read-only on purpose.
    form->Table1->close();
    form->Table1->setReadOnly(true);
    form->Table1->open();
    QVERIFY(form->Table1->readOnly());
    const QStringList before = table(sandbox);

    clickTab(form, kEditTab);
    QVERIFY(app.boxes().empty());
    QCOMPARE(form->Edit2->text(), QStringLiteral("alpha"));

    // Update Entry: refused at the edit; nothing written, the flag stays set.
    type(form, form->Edit3, QStringLiteral(" changed"));
    click(form->Button2);
    QCOMPARE(app.boxTexts(), QStringList{kReadOnly});
    QCOMPARE(app.boxes()[0].kind, BoxKind::Error);
    QCOMPARE(app.boxes()[0].caption, QStringLiteral("Palvane 32 v1.3"));
    QCOMPARE(table(sandbox), before);
    QVERIFY(form->Button2->isEnabled());
    QCOMPARE(form->Table1->state(), Table::State::Browsing);

    // New Entry: the boxes were emptied before the insert failed; no record was added.
    app.clearBoxes();
    click(form->Button1);
    QCOMPARE(app.boxTexts(), QStringList{kReadOnly});
    QCOMPARE(table(sandbox), before);
    QVERIFY(form->Edit2->text().isEmpty());

    // Delete, confirmed: the engine's error, and the record is still there.
    app.clearBoxes();
    auto shown = confirmDelete();
    click(form->Button5);
    QVERIFY(*shown);
    QCOMPARE(app.boxes().size(), size_t(1));
    QCOMPARE(app.boxes()[0].kind, BoxKind::Error);
    QVERIFY(app.boxes()[0].text.endsWith('.'));
    QCOMPARE(table(sandbox), before);

    // Reading still works: stepping and switching tabs.
    app.clearBoxes();
    click(form->Button7);
    QCOMPARE(form->Edit2->text(), QStringLiteral("beta"));
    QCOMPARE(form->SpinEdit1->Value(), 2);
    QVERIFY(!form->Button2->isEnabled());
    clickTab(form, kViewTab);
    QCOMPARE(form->Edit1->text(), QStringLiteral("beta"));
    QCOMPARE(form->DBEdit1->text(), QStringLiteral("B"));
    QVERIFY(app.boxes().empty());
    QCOMPARE(table(sandbox), before);
}

void TestEntryEditingFailures::closedTableReportsEveryCommandAndTheProgramGoesOn() {
    Sandbox sandbox; // no data/ directory: the table never opens
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::green);
    const QString green = sandbox.path() + "/green.bmp";
    QVERIFY(image.save(green, "BMP"));
    MainWindowFixture app;
    TForm1* form = app.form();
    QCOMPARE(app.boxes().size(), size_t(1)); // the failed open
    QVERIFY(!form->Table1->active());
    app.clearBoxes();

    clickTab(form, kEditTab);
    QCOMPARE(app.boxTexts(), QStringList{kClosed});
    QCOMPARE(app.boxes()[0].kind, BoxKind::Error);
    QCOMPARE(form->PageControl1->currentWidget(), form->TabSheet2);

    // New Entry: its first step (emptying the boxes) stays done.
    type(form, form->Edit3, QStringLiteral("typed"));
    app.clearBoxes();
    click(form->Button1);
    QCOMPARE(app.boxTexts(), QStringList{kClosed});
    QVERIFY(form->Edit3->text().isEmpty());

    app.clearBoxes();
    type(form, form->Edit2, QStringLiteral("nick"));
    click(form->Button2);
    QCOMPARE(app.boxTexts(), QStringList{kClosed});
    QVERIFY(form->Button2->isEnabled());

    // Delete fails at its first step, before the question.
    app.clearBoxes();
    auto shown = confirmDelete(300);
    click(form->Button5);
    QTest::qWait(400);
    QVERIFY(!*shown);
    QCOMPARE(app.boxTexts(), QStringList{kClosed});

    for (QPushButton* step : {form->Button6, form->Button7}) {
        app.clearBoxes();
        click(step);
        QCOMPARE(app.boxTexts(), QStringList{kClosed});
    }

    // The picture commands do not touch the table and work.
    app.clearBoxes();
    open_dialog_seam::setNextAnswer(green);
    click(form->Button8);
    QVERIFY(app.boxes().empty());
    QVERIFY(form->Image2->isVisibleTo(form->Panel3));
    QCOMPARE(form->currentPicturePath(), QFileInfo(green).absoluteFilePath());
    click(form->Button9);
    QVERIFY(app.boxes().empty());
    QVERIFY(!form->Image2->isVisibleTo(form->Panel3));

    // The spin box and the clocks go on.
    form->SpinEdit1->stepUp();
    QVERIFY(qAbs(form->TimeDisplacement() - 1 / 24.0) < 1e-9);
    form->Label6->setText(QStringLiteral("stale"));
    QTRY_VERIFY(form->Label6->text() != QStringLiteral("stale"));
    QVERIFY(form->Timer1->isActive());
    QVERIFY(app.boxes().empty());

    app.clearBoxes();
    clickTab(form, kViewTab);
    QCOMPARE(app.boxTexts(), QStringList{kClosed});
    QVERIFY(!QFileInfo::exists(sandbox.dataDir()));
}

void TestEntryEditingFailures::refusedStoreKeepsTheEditsForTheNextUpdate_data() {
    QTest::addColumn<bool>("import");
    QTest::addColumn<QStringList>("added"); // by the other program
    QTest::newRow("another program's write") << false << QStringList();
    QTest::newRow("an import reading its file") << true << QStringList{QStringLiteral("imported")};
}

void TestEntryEditingFailures::refusedStoreKeepsTheEditsForTheNextUpdate() {
    QFETCH(bool, import);
    QFETCH(QStringList, added);
    Sandbox sandbox;
    sandbox.createTable({contact("alpha", "A", 1), contact("beta", "B", 2)});
    MainWindowFixture app;
    TForm1* form = app.form();
    form->Table1->setBusyTimeout(0);
    clickTab(form, kEditTab);
    const QStringList before = table(sandbox);

    // Another program holds the write lock; the message says so, and what to do.
    OtherWriter other(sandbox.dbPath(), import);
    const QString busy = QStringLiteral("Cannot store the record in %1: another program is writing "
                                        "or reading the table; try again when it has finished.")
                             .arg(sandbox.dbPath());

    type(form, form->Edit3, QStringLiteral(" kept"));
    click(form->Button2);
    QCOMPARE(app.boxes().size(), size_t(1));
    QCOMPARE(app.boxes()[0].kind, BoxKind::Error);
    QCOMPARE(app.boxes()[0].text, busy);
    QCOMPARE(table(sandbox), before);
    QVERIFY(form->Button2->isEnabled());
    QCOMPARE(form->Edit3->text(), QStringLiteral("A kept"));

    // A move tries the pending store again first, fails the same way and stays put.
    app.clearBoxes();
    click(form->Button7);
    QCOMPARE(app.boxes().size(), size_t(1));
    QCOMPARE(app.boxes()[0].text, busy);
    QCOMPARE(form->Edit2->text(), QStringLiteral("alpha"));
    QCOMPARE(form->Edit3->text(), QStringLiteral("A kept"));
    QCOMPARE(table(sandbox), before);

    // Once the other program has finished, Update Entry stores what was typed.
    QVERIFY(other.finish());
    app.clearBoxes();
    click(form->Button2);
    QVERIFY(app.boxes().empty());
    QVERIFY(!form->Button2->isEnabled());
    const std::vector<ContactRow> rows = readContacts(sandbox.dbPath());
    QCOMPARE(rows.size(), size_t(2 + added.size()));
    QCOMPARE(rows[0].name, QStringLiteral("A kept"));
    QCOMPARE(rows[1].name, QStringLiteral("B"));
    for (qsizetype i = 0; i < added.size(); ++i)
        QCOMPARE(rows[size_t(2 + i)].nick, added[i]);
    QCOMPARE(form->Table1->state(), Table::State::Browsing);
}

QTEST_MAIN(TestEntryEditingFailures)
#include "test_entry_editing_failures.moc"
