// The picture viewer: fitted to the current contact's picture at every opening, centred at its
// first showing only, and left with its previous picture and size when a load fails.

#include "app/window_set.h"
#include "main_window/tform1.h"
#include "side_windows/picture_box.h"
#include "side_windows/tform3.h"
#include "store/table.h"
#include "tests/support/main_window_fixture.h"
#include "tests/support/sandbox.h"
#include "widgets/message_box.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QTest>

using palvane::test::contact;
using palvane::test::onNextModal;
using palvane::test::Sandbox;

namespace {

QString sample(const char* name) {
    return QStringLiteral(PALVANE_TEST_DATA "/") + QLatin1String(name);
}

// What the viewer looked like while it was open.
struct Seen {
    bool shown = false;
    QSize size;  // client area
    QSize outer; // with the frame
    QPoint pos;  // of the frame
    QSize imageSize;
    QPoint imagePos;
    QSize pictureSize;
};

// Shows the viewer modally; while it is open, records it, optionally moves it, then closes it
// with the close box's result.
Seen showViewer(TForm3& viewer, QPoint moveTo = QPoint(-1, -1)) {
    Seen seen;
    onNextModal([&](QWidget* modal) {
        seen.shown = modal == &viewer && viewer.isVisible();
        seen.size = viewer.size();
        seen.outer = viewer.frameGeometry().size();
        seen.pos = viewer.pos();
        seen.imageSize = viewer.Image1->size();
        seen.imagePos = viewer.Image1->pos();
        seen.pictureSize = viewer.Image1->picture().size();
        if (moveTo != QPoint(-1, -1))
            viewer.move(moveTo);
        viewer.close(); // the close box
    });
    const int result = viewer.ShowModal();
    if (result != palvane::mrCancel)
        seen.shown = false;
    return seen;
}

QPoint centred(QSize size) {
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    return QPoint(std::max(0, (screen.width() - size.width()) / 2),
                  std::max(0, (screen.height() - size.height()) / 2));
}

void openTable(palvane::Table& table) {
    table.setDatabaseName(QStringLiteral("data/"));
    table.setTableName(QStringLiteral("palvane.db"));
    table.open();
}

} // namespace

class TestViewer : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { palvane::message_box_seam::uninstall(); }
    void fitsEachPictureAndKeepsWhereItWasLeft();
    void failedLoadKeepsThePreviousPicture();
    void largePictureStartsAtTheScreenCorner();
    void tinyPicturesAndMaximisedWindowsAreFitted();
    void thumbnailDoubleClickOpensTheViewer();
};

void TestViewer::fitsEachPictureAndKeepsWhereItWasLeft() {
    Sandbox sandbox;
    const QString first = sandbox.path() + "/first contact.bmp";
    const QString second = sandbox.path() + "/Second.WMF";
    QVERIFY(QFile::copy(sample("sample.bmp"), first));
    QVERIFY(QFile::copy(sample("sample.wmf"), second));
    sandbox.createTable({contact("alpha", {}, 0, first), contact("beta", {}, 0, second)});
    palvane::Table table;
    openTable(table);
    auto& boxes = palvane::message_box_seam::recordAll();

    TForm3 viewer;
    viewer.setTable(&table);
    QCOMPARE(viewer.objectName(), QStringLiteral("Form3"));
    QCOMPARE(viewer.windowTitle(), QStringLiteral("Image"));
    QVERIFY(viewer.windowFlags() & Qt::WindowMaximizeButtonHint);
    QVERIFY(viewer.windowFlags() & Qt::WindowMinimizeButtonHint);
    QCOMPARE(viewer.Image1->objectName(), QStringLiteral("Image1"));
    QCOMPARE(viewer.Image1->geometry(), QRect(0, 0, 427, 273));
    QVERIFY(viewer.Image1->autoSize() && viewer.Image1->center() && !viewer.Image1->stretch());

    // 200 x 100 picture: the client area is exactly the picture, centred at the first showing.
    const Seen one = showViewer(viewer, QPoint(30, 20));
    QVERIFY(one.shown);
    QCOMPARE(one.pictureSize, QSize(200, 100));
    QCOMPARE(one.imageSize, QSize(200, 100));
    QCOMPARE(one.imagePos, QPoint(0, 0));
    QCOMPARE(one.size, QSize(200, 100));
    QCOMPARE(one.pos, centred(one.outer));
    QVERIFY(!viewer.isVisible());

    // The next contact's picture, resized, where the window was left: not centred again.
    table.next();
    const Seen two = showViewer(viewer);
    QVERIFY(two.shown);
    QCOMPARE(two.pictureSize, QSize(160, 120));
    QCOMPARE(two.size, QSize(160, 120));
    QCOMPARE(two.pos, QPoint(30, 20));

    // A user's resize lasts only until the next opening.
    viewer.resize(500, 400);
    const Seen three = showViewer(viewer);
    QCOMPARE(three.size, QSize(160, 120));
    QCOMPARE(three.pos, QPoint(30, 20));
    QVERIFY(boxes.empty());
}

void TestViewer::failedLoadKeepsThePreviousPicture() {
    Sandbox sandbox;
    const QString gone = sandbox.path() + "/deleted since.bmp";
    const QString good = sandbox.path() + "/good.bmp";
    QVERIFY(QFile::copy(sample("sample.bmp"), gone));
    QVERIFY(QFile::copy(sample("sample.bmp"), good));
    sandbox.createTable({contact("a", {}, 0, gone), contact("b", {}, 0, good),
                         contact("c", {}, 0, gone), contact("d", {}, 0, QString()),
                         contact("e", {}, 0, sandbox.path() + "/notes.TXT")});
    QVERIFY(QFile::remove(gone));
    palvane::Table table;
    openTable(table);
    auto& boxes = palvane::message_box_seam::recordAll();
    TForm3 viewer;
    viewer.setTable(&table);

    // At the first showing a failure leaves no picture and the design size, centred.
    const Seen first = showViewer(viewer);
    QVERIFY(first.shown);
    QCOMPARE(first.size, QSize(617, 403));
    QVERIFY(viewer.Image1->picture().isNull());
    QCOMPARE(first.pos, centred(first.outer));
    QCOMPARE(boxes.size(), size_t(1));
    QCOMPARE(boxes[0].kind, palvane::BoxKind::Error);
    QCOMPARE(boxes[0].caption, QStringLiteral("Palvane 32 v1.3"));
    QCOMPARE(boxes[0].text, QStringLiteral("Cannot open file ") + gone + QLatin1Char('.'));

    table.next();
    QCOMPARE(showViewer(viewer).size, QSize(200, 100));
    QCOMPARE(boxes.size(), size_t(1));

    // The file was deleted since: error box, then the viewer with its previous picture and size.
    table.next();
    const Seen deleted = showViewer(viewer);
    QVERIFY(deleted.shown);
    QCOMPARE(boxes.size(), size_t(2));
    QCOMPARE(boxes[1].text, QStringLiteral("Cannot open file ") + gone + QLatin1Char('.'));
    QCOMPARE(deleted.pictureSize, QSize(200, 100));
    QCOMPARE(deleted.size, QSize(200, 100));

    // No picture path, and a kind without a decoder.
    table.next();
    QCOMPARE(showViewer(viewer).pictureSize, QSize(200, 100));
    QCOMPARE(boxes.back().text, QStringLiteral("Unknown picture file extension (.)."));
    table.next();
    QCOMPARE(showViewer(viewer).size, QSize(200, 100));
    QCOMPARE(boxes.back().text, QStringLiteral("Unknown picture file extension (.txt)."));

    // A closed table has no fields.
    table.close();
    QVERIFY(showViewer(viewer).shown);
    QCOMPARE(boxes.back().text, QStringLiteral("Field 'IRC Picture' not found."));
    QCOMPARE(boxes.size(), size_t(5));
}

void TestViewer::largePictureStartsAtTheScreenCorner() {
    Sandbox sandbox;
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    QImage big(screen.width() + 300, screen.height() / 2, QImage::Format_RGB888);
    big.fill(Qt::darkCyan);
    const QString wide = sandbox.path() + "/wide.bmp";
    QVERIFY(big.save(wide, "BMP"));
    sandbox.createTable({contact("wide", {}, 0, wide)});
    palvane::Table table;
    openTable(table);
    palvane::message_box_seam::recordAll();

    TForm3 viewer;
    viewer.setTable(&table);
    const Seen seen = showViewer(viewer);
    QCOMPARE(seen.size, big.size());
    // Left raised to 0; top centred as usual.
    QVERIFY(seen.outer.width() > screen.width());
    QCOMPARE(seen.pos, QPoint(0, (screen.height() - seen.outer.height()) / 2));
}

void TestViewer::tinyPicturesAndMaximisedWindowsAreFitted() {
    Sandbox sandbox;
    const QString dot = sandbox.path() + "/dot.bmp";
    QImage one(1, 1, QImage::Format_RGB888);
    one.fill(Qt::red);
    QVERIFY(one.save(dot, "BMP"));
    const QString icon = sandbox.path() + "/icon.ico";
    QVERIFY(QFile::copy(sample("sample.ico"), icon));
    sandbox.createTable({contact("dot", {}, 0, dot), contact("icon", {}, 0, icon),
                         contact("wide", {}, 0, sample("sample.bmp"))});
    palvane::Table table;
    openTable(table);
    auto& boxes = palvane::message_box_seam::recordAll();
    TForm3 viewer;
    viewer.setTable(&table);

    // Pictures narrower than a title bar needs: a wider window, the picture at its top left.
    const Seen dotSeen = showViewer(viewer);
    QCOMPARE(dotSeen.size, QSize(160, 1));
    QCOMPARE(dotSeen.imageSize, QSize(1, 1));
    QCOMPARE(dotSeen.imagePos, QPoint(0, 0));
    table.next();
    const Seen iconSeen = showViewer(viewer);
    QCOMPARE(iconSeen.size, QSize(160, 32));
    QCOMPARE(viewer.Image1->pictureRect(), QRectF(0, 0, 32, 32));

    // Maximised by the user, then opened again: fitted to the next picture.
    table.next();
    onNextModal([&](QWidget*) {
        viewer.setWindowState(Qt::WindowMaximized);
        viewer.close();
    });
    viewer.ShowModal();
    const Seen reopened = showViewer(viewer);
    QCOMPARE(reopened.size, QSize(200, 100));
    QVERIFY(!viewer.isMaximized());
    QVERIFY(boxes.empty());
}

void TestViewer::thumbnailDoubleClickOpensTheViewer() {
    // The program's own path: the main window's table names the picture.
    Sandbox sandbox;
    const QString picture = sandbox.path() + "/face.ICO";
    QVERIFY(QFile::copy(sample("sample.ico"), picture));
    sandbox.createTable({contact("cat", {}, 0, picture)});
    palvane::test::MainWindowFixture fixture;
    QVERIFY(Form3);
    auto* thumbnail = Form1->findChild<palvane::PictureBox*>(QStringLiteral("Image1"));
    QVERIFY(thumbnail);
    QVERIFY(thumbnail->isVisible());

    Seen seen;
    onNextModal([&](QWidget* modal) {
        seen.shown = modal == Form3;
        seen.size = Form3->size();
        seen.pictureSize = Form3->Image1->picture().size();
        Form3->close();
    });
    QTest::mouseDClick(thumbnail, Qt::LeftButton);
    QVERIFY(seen.shown);
    QCOMPARE(seen.pictureSize, QSize(32, 32));
    QCOMPARE(seen.size, QSize(160, 32)); // room for the title bar
    QVERIFY(!Form3->isVisible());
    QVERIFY(fixture.boxTexts().isEmpty());
}

QTEST_MAIN(TestViewer)
#include "test_viewer.moc"
