// The program's message boxes shown for real: centred on the screen with the size they have
// once shown. (The frame a window manager adds is checked by the acceptance tests.)

#include "tests/support/sandbox.h"
#include "widgets/centred_placement.h"
#include "widgets/message_box.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTest>

using namespace palvane;

class TestMessageBox : public QObject {
    Q_OBJECT

private slots:
    void centredWithTheSizeTheyHaveWhenShown();
    void centredPlaceOfTheClientArea_data();
    void centredPlaceOfTheClientArea();
};

void TestMessageBox::centredWithTheSizeTheyHaveWhenShown() {
    test::Sandbox sandbox;
    // A short text, and texts that wrap: the box lays them out again when it is shown and ends
    // narrower than it measures before.
    const QString nothingToDelete =
        QStringLiteral("If there were any records to delete I would gladly delete them. At the "
                       "moment though, I can't seem to find any... :-)");
    const QString noTable = QStringLiteral(
        "Cannot open the contact table data/palvane.db: the file is damaged or is not a contact "
        "table (file is not a database).");
    struct Case {
        bool error;
        QString text;
    };
    for (const Case& c : {Case{false, QStringLiteral("Nothing.")}, Case{false, nothingToDelete},
                          Case{true, noTable}}) {
        QRect shown;
        QString shownText;
        test::onNextModal([&](QWidget* modal) {
            shown = modal->geometry();
            if (auto* box = qobject_cast<QMessageBox*>(modal))
                shownText = box->text();
            modal->close();
        });
        if (c.error)
            showErrorBox(c.text);
        else
            showInformation(c.text);
        QCOMPARE(shownText, c.text);
        const QPoint screenCentre = QGuiApplication::primaryScreen()->geometry().center();
        QVERIFY2((shown.center() - screenCentre).manhattanLength() <= 2,
                 qPrintable(QStringLiteral("box at %1,%2 %3 x %4")
                                .arg(shown.x())
                                .arg(shown.y())
                                .arg(shown.width())
                                .arg(shown.height())));
    }
}

// Every window but the main one goes where the frame is centred on the primary screen: the
// screen's origin added (a primary screen right of another starts at x > 0), halves rounded
// toward zero, never above or left of the screen's corner.
void TestMessageBox::centredPlaceOfTheClientArea_data() {
    QTest::addColumn<QRect>("screen");
    QTest::addColumn<QSize>("client");
    QTest::addColumn<QMargins>("frame");
    QTest::addColumn<QPoint>("expected");
    const QMargins frame(1, 20, 1, 1);
    QTest::newRow("screen at 0,0")
        << QRect(0, 0, 1024, 768) << QSize(482, 84) << frame << QPoint(270 + 1, 331 + 20);
    QTest::newRow("odd leftovers round down")
        << QRect(0, 0, 1025, 769) << QSize(482, 84) << frame << QPoint(270 + 1, 332 + 20);
    QTest::newRow("primary screen right of another")
        << QRect(1280, 0, 1024, 768) << QSize(482, 84) << frame << QPoint(1280 + 271, 351);
    QTest::newRow("primary screen above another")
        << QRect(0, -768, 1024, 768) << QSize(482, 84) << frame << QPoint(271, -768 + 351);
    QTest::newRow("larger than the screen")
        << QRect(100, 50, 800, 600) << QSize(900, 700) << frame << QPoint(101, 70);
    QTest::newRow("no frame known")
        << QRect(0, 0, 1024, 768) << QSize(298, 213) << QMargins() << QPoint(363, 277);
}

void TestMessageBox::centredPlaceOfTheClientArea() {
    QFETCH(QRect, screen);
    QFETCH(QSize, client);
    QFETCH(QMargins, frame);
    QFETCH(QPoint, expected);
    QCOMPARE(centredClientPosition(screen, client, frame), expected);
}

QTEST_MAIN(TestMessageBox)
#include "test_message_box.moc"
