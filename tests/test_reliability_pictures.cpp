// Hostile picture paths met by the real main window, stored in a contact by another tool or
// chosen with Add: a directory, a FIFO, an endless device, a sparse file of several GB, a
// symbolic-link loop, a path of 4,096 characters. None may hang the window; each is refused
// with "Cannot open file <path>." and the boxes keep the picture they had. Unusual but valid
// names (spaces, non-ASCII letters, a line break) load, are stored exactly and load again.

#include "app/window_set.h"
#include "main_window/tform1.h"
#include "side_windows/picture_box.h"
#include "side_windows/tform3.h"
#include "store/table.h"
#include "tests/support/main_window_fixture.h"
#include "tests/support/sandbox.h"
#include "widgets/open_dialog.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <sys/stat.h>

using namespace palvane;
using namespace palvane::test;

namespace {

constexpr int kEditTab = 1;
// Far more than any refusal needs; a hang shows as a failure rather than a stuck test run.
constexpr qint64 kPromptMs = 5000;

QString makeBitmap(const QString& path, const QColor& colour, QSize size = QSize(20, 10)) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    if (!image.save(path, "BMP"))
        return {};
    return path;
}

struct Hostile {
    const char* what;
    QString path;
    bool tooLarge = false; // refused for its size, not for access
};

// The hostile paths, made in dir. The device is reached directly (no extension: refused by
// its extension) and through a link with a picture's name (refused as not a regular file).
std::vector<Hostile> makeHostilePaths(const QString& dir) {
    std::vector<Hostile> paths;
    QDir().mkpath(dir + QStringLiteral("/folder.bmp"));
    paths.push_back({"a directory", dir + QStringLiteral("/folder.bmp")});
    const QString fifo = dir + QStringLiteral("/pipe.bmp");
    ::mkfifo(QFile::encodeName(fifo).constData(), 0600);
    paths.push_back({"a FIFO nobody writes to", fifo});
    QFile::link(QStringLiteral("/dev/zero"), dir + QStringLiteral("/zero.ico"));
    paths.push_back({"/dev/zero through a link", dir + QStringLiteral("/zero.ico")});
    const QString sparse = dir + QStringLiteral("/sparse.emf");
    {
        QFile file(sparse);
        if (file.open(QIODevice::WriteOnly))
            file.resize(qint64(5) * 1024 * 1024 * 1024);
    }
    paths.push_back({"a sparse 5 GB file", sparse, true});
    QFile::link(dir + QStringLiteral("/loop.wmf"), dir + QStringLiteral("/loop.wmf"));
    paths.push_back({"a link to itself", dir + QStringLiteral("/loop.wmf")});
    QFile::link(dir + QStringLiteral("/ring2.bmp"), dir + QStringLiteral("/ring1.bmp"));
    QFile::link(dir + QStringLiteral("/ring1.bmp"), dir + QStringLiteral("/ring2.bmp"));
    paths.push_back({"a ring of two links", dir + QStringLiteral("/ring1.bmp")});
    // 4,096 characters: one more than a path may have, counting its terminating NUL.
    QString longPath = dir;
    while (longPath.size() < 4096 - 220)
        longPath += QLatin1Char('/') + QString(200, QLatin1Char('d'));
    longPath += QLatin1Char('/') + QString(4096 - longPath.size() - 5, QLatin1Char('p')) +
                QStringLiteral(".bmp");
    paths.push_back({"a path of 4,096 characters", longPath});
    paths.push_back({"a missing file", dir + QStringLiteral("/gone/away.bmp")});
    return paths;
}

QString refusal(const Hostile& h) {
    return h.tooLarge ? QStringLiteral("Picture file %1 is larger than 512 MB.").arg(h.path)
                      : QStringLiteral("Cannot open file ") + h.path + QLatin1Char('.');
}

void clickTab(TForm1* form, int index) {
    QTabBar* bar = form->PageControl1->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
}

} // namespace

class TestReliabilityPictures : public QObject {
    Q_OBJECT

private slots:
    void hostilePathsInContactsAreRefusedAtOnce();
    void hostilePathsChosenWithAddAreRefusedAtOnce();
    void unusualValidNamesLoadAndAreStoredExactly();
};

void TestReliabilityPictures::hostilePathsInContactsAreRefusedAtOnce() {
    Sandbox sandbox;
    const QString red = makeBitmap(sandbox.path() + QStringLiteral("/red.bmp"), Qt::red);
    QVERIFY(!red.isEmpty());
    const std::vector<Hostile> hostile = makeHostilePaths(sandbox.path());
    QCOMPARE(hostile[6].path.size(), 4096);
    std::vector<ContactRow> rows{contact(QStringLiteral("a00"), {}, 0, red)};
    for (size_t i = 0; i < hostile.size(); ++i)
        rows.push_back(contact(QStringLiteral("a%1").arg(i + 1, 2, 10, QLatin1Char('0')), {}, 0,
                               hostile[i].path));
    // The device itself, without a picture's extension, is refused by its extension.
    rows.push_back(contact(QStringLiteral("zz"), {}, 0, QStringLiteral("/dev/zero")));
    sandbox.createTable(rows);
    const std::vector<ContactRow> stored = readContacts(sandbox.dbPath());
    QCOMPARE(stored[7].picture, hostile[6].path); // kept whole: the field holds 4,096

    MainWindowFixture app;
    TForm1* form = app.form();
    QVERIFY(app.boxes().empty());
    QCOMPARE(form->Image1->picture().size(), QSize(20, 10));

    for (const Hostile& h : hostile) {
        app.clearBoxes();
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(form->Button3, Qt::LeftButton);
        QVERIFY2(clock.elapsed() < kPromptMs, h.what);
        QCOMPARE(app.boxTexts(), QStringList{refusal(h)});
        // The boxes stay visible with the picture they had; the failing path is current.
        QVERIFY(form->Image1->isVisible());
        QCOMPARE(form->Image1->picture().size(), QSize(20, 10));
        QCOMPARE(form->currentPicturePath(), h.path);

        // The viewer refuses it the same way and opens all the same.
        app.clearBoxes();
        onNextModal([](QWidget* modal) { modal->close(); });
        clock.restart();
        QTest::mouseDClick(form->Image1, Qt::LeftButton);
        QVERIFY2(clock.elapsed() < kPromptMs, h.what);
        QCOMPARE(app.boxTexts(), QStringList{refusal(h)});
        QVERIFY(!Form3->isVisible());
    }
    app.clearBoxes();
    QTest::mouseClick(form->Button3, Qt::LeftButton);
    QCOMPARE(form->Edit1->text(), QStringLiteral("zz"));
    QCOMPARE(app.boxTexts(), QStringList{QStringLiteral("Unknown picture file extension (.).")});
}

void TestReliabilityPictures::hostilePathsChosenWithAddAreRefusedAtOnce() {
    Sandbox sandbox;
    const QString red = makeBitmap(sandbox.path() + QStringLiteral("/red.bmp"), Qt::red);
    sandbox.createTable({contact(QStringLiteral("alpha"), {}, 0, red)});
    const std::vector<Hostile> hostile = makeHostilePaths(sandbox.path());
    const QByteArray before = [&] {
        QFile file(sandbox.dbPath());
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }();

    MainWindowFixture app;
    TForm1* form = app.form();
    clickTab(form, kEditTab);
    for (const Hostile& h : hostile) {
        app.clearBoxes();
        open_dialog_seam::setNextAnswer(h.path);
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(form->Button8, Qt::LeftButton);
        QVERIFY2(clock.elapsed() < kPromptMs, h.what);
        QCOMPARE(app.boxTexts(), QStringList{refusal(h)});
        QCOMPARE(form->Image2->picture().size(), QSize(20, 10));
    }
    // Nothing was stored: choosing a picture changes only the boxes.
    form->Table1->close();
    QFile file(sandbox.dbPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll() == before);
}

void TestReliabilityPictures::unusualValidNamesLoadAndAreStoredExactly() {
    Sandbox sandbox;
    sandbox.createTable({contact(QStringLiteral("alpha"))});
    const QString dir = sandbox.path() + QStringLiteral("/my pictures \u00e9t\u00e9");
    QVERIFY(QDir().mkpath(dir));
    const QStringList names{QStringLiteral(" Ünïcødé ✓ photo 写真 .bmp"),
                            QStringLiteral("two\nlines.BMP"),
                            QStringLiteral("-starts with dash.bmp")};
    QStringList paths;
    for (int i = 0; i < names.size(); ++i) {
        paths << makeBitmap(dir + QLatin1Char('/') + names[i], Qt::blue, QSize(30 + i, 15));
        QVERIFY2(!paths.last().isEmpty(), qPrintable(names[i]));
    }
    {
        MainWindowFixture app;
        TForm1* form = app.form();
        clickTab(form, kEditTab);
        for (int i = 0; i < paths.size(); ++i) {
            if (i > 0)
                QTest::mouseClick(form->Button1, Qt::LeftButton); // New Entry
            form->Edit2->setText(QStringLiteral("n%1").arg(i));
            open_dialog_seam::setNextAnswer(paths[i]);
            QTest::mouseClick(form->Button8, Qt::LeftButton);
            QVERIFY2(app.boxes().empty(), qPrintable(app.boxTexts().join(QLatin1Char('|'))));
            QCOMPARE(form->Image2->picture().size(), QSize(30 + i, 15));
            QTest::mouseClick(form->Button2, Qt::LeftButton); // Update Entry
            QVERIFY(app.boxes().empty());
        }
    }
    const std::vector<ContactRow> rows = readContacts(sandbox.dbPath());
    QCOMPARE(rows.size(), size_t(3));
    for (int i = 0; i < paths.size(); ++i)
        QCOMPARE(rows[size_t(i)].picture, paths[i]);

    // The next start shows each of them again from the stored path.
    MainWindowFixture app;
    TForm1* form = app.form();
    for (int i = 0; i < paths.size(); ++i) {
        QCOMPARE(form->currentPicturePath(), paths[i]);
        QCOMPARE(form->Image1->picture().size(), QSize(30 + i, 15));
        QTest::mouseClick(form->Button3, Qt::LeftButton);
    }
    QVERIFY(app.boxes().empty());
}

QTEST_MAIN(TestReliabilityPictures)
#include "test_reliability_pictures.moc"
