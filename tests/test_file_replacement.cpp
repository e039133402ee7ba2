#include "core/file_replacement.h"

#include "tests/support/sandbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <cerrno>

using palvane::FileReplacement;

namespace {

QByteArray contentsOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}

// What the folder holds, hidden files too.
QStringList entriesOf(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

} // namespace

class TestFileReplacement : public QObject {
    Q_OBJECT

private slots:
    void nameGoesOnlyToTheWholeFile_data();
    void nameGoesOnlyToTheWholeFile();
    void foldersWithoutRoomForANewFile();
};

void TestFileReplacement::nameGoesOnlyToTheWholeFile_data() {
    QTest::addColumn<QByteArray>("before"); // empty: no file of that name
    QTest::addColumn<bool>("keepExisting");
    QTest::addColumn<bool>("commit");
    QTest::addColumn<int>("error");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("new file") << QByteArray() << false << true << 0 << QByteArray("new");
    QTest::newRow("replaces") << QByteArray("old") << false << true << 0 << QByteArray("new");
    QTest::newRow("new file, keeping") << QByteArray() << true << true << 0 << QByteArray("new");
    QTest::newRow("keeps the existing file")
        << QByteArray("old") << true << true << EEXIST << QByteArray("old");
    QTest::newRow("dropped before the commit")
        << QByteArray("old") << false << false << 0 << QByteArray("old");
    QTest::newRow("dropped, no file before")
        << QByteArray() << false << false << 0 << QByteArray("<none>");
}

void TestFileReplacement::nameGoesOnlyToTheWholeFile() {
    palvane::test::Sandbox sandbox;
    QFETCH(QByteArray, before);
    QFETCH(bool, keepExisting);
    QFETCH(bool, commit);
    QFETCH(int, error);
    QFETCH(QByteArray, after);
    QVERIFY(QDir().mkpath(QStringLiteral("out")));
    const QString path = QStringLiteral("out/contacts.vcf");
    if (!before.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(before);
    }
    {
        FileReplacement replacement(path);
        QCOMPARE(replacement.error(), 0);
        const QString temporary = QFile::decodeName(replacement.temporaryName());
        QVERIFY2(QFileInfo(temporary).fileName().startsWith(QStringLiteral(".contacts.vcf.")),
                 qPrintable(temporary));
        QVERIFY(replacement.write("ne"));
        QVERIFY(replacement.write("w"));
        // Until the commit the name shows the old file, never a part of the new one.
        QCOMPARE(contentsOf(path), before.isEmpty() ? QByteArray("<none>") : before);
        if (commit) {
            QCOMPARE(replacement.commit(keepExisting ? FileReplacement::Existing::Keep
                                                     : FileReplacement::Existing::Replace),
                     error);
        }
    }
    QCOMPARE(contentsOf(path), after);
    // No temporary file stays behind, whatever became of the new one.
    const QStringList expected =
        after == "<none>" ? QStringList() : QStringList{QStringLiteral("contacts.vcf")};
    QCOMPARE(entriesOf(QStringLiteral("out")), expected);
}

void TestFileReplacement::foldersWithoutRoomForANewFile() {
    palvane::test::Sandbox sandbox;
    // A folder that does not exist, and one where a file stands in for the folder.
    QCOMPARE(FileReplacement(QStringLiteral("missing/contacts.vcf")).error(), ENOENT);
    QVERIFY(QDir().mkpath(QStringLiteral("out")));
    QFile blocker(QStringLiteral("out/plain"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    FileReplacement underFile(QStringLiteral("out/plain/contacts.vcf"));
    QCOMPARE(underFile.error(), ENOTDIR);
    QVERIFY(!underFile.write("x"));
    QCOMPARE(underFile.commit(FileReplacement::Existing::Replace), ENOTDIR);
    QCOMPARE(entriesOf(QStringLiteral("out")), QStringList{QStringLiteral("plain")});
}

QTEST_GUILESS_MAIN(TestFileReplacement)
#include "test_file_replacement.moc"
