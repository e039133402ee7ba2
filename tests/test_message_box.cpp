// The program's message boxes shown for real: centred on the screen with the size they have
// once shown. (The frame a window manager adds is checked by the acceptance tests.)

#include "tests/support/sandbox.h"
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

QTEST_MAIN(TestMessageBox)
#include "test_message_box.moc"
