// The table file replaced, moved or deleted while the program runs: another table copied over it
// with cp (in place: same inode, and the same change counter as the engine would compare),
// another table renamed over it, the table moved away, or deleted. Update Entry, Delete Entry
// and browsing say what happened and that the program must be restarted, and nothing is written
// into the file now at the path.

#include "main_window/tform1.h"
#include "store/schema.h"
#include "tests/support/main_window_fixture.h"
#include "tests/support/sandbox.h"

#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <vector>

using namespace palvane;
using namespace palvane::test;

namespace {

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

void clickTab(TForm1* form, int index) {
    QTabBar* bar = form->PageControl1->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
}

} // namespace

class TestReliabilityReplacedTable : public QObject {
    Q_OBJECT

private slots:
    void changedTableIsReportedAndLeftAlone();
};

void TestReliabilityReplacedTable::changedTableIsReportedAndLeftAlone() {
    struct Case {
        QString name;
        QString program;
        QStringList arguments; // %t the table, %o the other table
        QString what;
    };
    const std::vector<Case> cases = {
        {QStringLiteral("copied over"), QStringLiteral("cp"), {"%o", "%t"}, "replaced"},
        {QStringLiteral("renamed over"), QStringLiteral("mv"), {"%o", "%t"}, "replaced"},
        {QStringLiteral("moved away"), QStringLiteral("mv"), {"%t", "%t.old"}, "moved or deleted"},
        {QStringLiteral("deleted"), QStringLiteral("rm"), {"%t"}, "moved or deleted"},
    };
    for (const Case& c : cases) {
        Sandbox sandbox;
        sandbox.createTable({contact("alpha", "A", 1), contact("beta", "B", 2)});
        const QString other = sandbox.path() + QStringLiteral("/other.db");
        createContactTable(other);
        insertContacts(other, {contact("xavier", "X", 3), contact("yolanda", "Y", 4)});
        const QByteArray otherBytes = fileBytes(other);
        const QByteArray tableBytes = fileBytes(sandbox.dbPath());

        MainWindowFixture app;
        TForm1* form = app.form();
        clickTab(form, 1);
        form->activateWindow();
        form->Edit2->setFocus();
        QTest::keyClicks(form->Edit2, QStringLiteral("x"));
        QVERIFY(form->Button2->isEnabled());
        QStringList arguments;
        for (QString argument : c.arguments)
            arguments << argument.replace(QLatin1String("%t"), sandbox.dbPath())
                             .replace(QLatin1String("%o"), other);
        sandbox.waitForLaterTimestamps();
        QCOMPARE(QProcess::execute(c.program, arguments), 0);

        QTest::mouseClick(form->Button2, Qt::LeftButton); // Update Entry
        QTest::mouseClick(form->Button5, Qt::LeftButton); // Delete Entry
        clickTab(form, 0);
        QTest::mouseClick(form->Button3, Qt::LeftButton); // Next Record
        const QString reason =
            QStringLiteral(": the file was %1 while the program was running; restart the program.")
                .arg(c.what);
        QVERIFY2(!app.boxTexts().isEmpty(), qPrintable(c.name));
        QCOMPARE(app.boxTexts().first(),
                 QStringLiteral("Cannot store the record in ") + sandbox.dbPath() + reason);
        for (const QString& text : app.boxTexts())
            QVERIFY2(text.endsWith(reason), qPrintable(c.name + QStringLiteral(": ") + text));

        if (c.what == QLatin1String("replaced"))
            QVERIFY2(fileBytes(sandbox.dbPath()) == otherBytes, qPrintable(c.name));
        else if (c.program == QLatin1String("mv"))
            QVERIFY2(fileBytes(sandbox.dbPath() + QStringLiteral(".old")) == tableBytes,
                     qPrintable(c.name));
        else
            QVERIFY(!QFile::exists(sandbox.dbPath()));
    }
}

QTEST_MAIN(TestReliabilityReplacedTable)
#include "test_reliability_replaced_table.moc"
