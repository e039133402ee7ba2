// The picture commands of the Edit/Add tab: Add (through the open-file dialog) and Clear change
// only the boxes and the current picture path; Update Entry stores the path.

#include "main_window/db_controls.h"
#include "main_window/tform1.h"
#include "side_windows/picture_box.h"
#include "store/schema.h"
#include "tests/support/edit_tab_actions.h"
#include "tests/support/main_window_fixture.h"
#include "tests/support/sandbox.h"
#include "widgets/message_box.h"
#include "widgets/open_dialog.h"
#include "widgets/panel.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

using namespace palvane;
using namespace palvane::test;

namespace {

QString makeBitmap(const QString& path, const QColor& colour, QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    if (!image.save(path, "BMP"))
        qFatal("cannot write %s", qPrintable(path));
    return QFileInfo(path).absoluteFilePath();
}

QStringList pictures(const Sandbox& sandbox) {
    QStringList paths;
    for (const ContactRow& r : readContacts(sandbox.dbPath()))
        paths << r.picture;
    return paths;
}

bool shown(TForm1* form) {
    const bool view = form->Image1->isVisibleTo(form->Panel1);
    const bool edit = form->Image2->isVisibleTo(form->Panel3);
    if (view != edit)
        qWarning("Image1 and Image2 disagree: %d %d", view, edit);
    return view && edit;
}

bool hidden(TForm1* form) {
    return !form->Image1->isVisibleTo(form->Panel1) && !form->Image2->isVisibleTo(form->Panel3);
}

QColor colourOf(const PictureBox* box) {
    return box->picture().toImage().pixelColor(0, 0);
}

} // namespace

class TestEntryEditingPictures : public QObject {
    Q_OBJECT

private slots:
    void addCancelledChangesNothing();
    void addShowsThePictureAndUpdateStoresItsPath();
    void addOfAFileThatCannotBeLoadedKeepsTheOldPicture();
    void clearThenUpdateStoresNoPicture();
};

void TestEntryEditingPictures::addCancelledChangesNothing() {
    Sandbox sandbox;
    const QString red = makeBitmap(sandbox.path() + "/red.bmp", Qt::red, {20, 10});
    sandbox.createTable({contact("pic", "P", 0, red), contact("plain")});
    MainWindowFixture app;
    TForm1* form = app.form();
    clickTab(form, kEditTab);
    QVERIFY(shown(form));
    QVERIFY(!form->Button2->isEnabled());

    open_dialog_seam::setNextAnswer(std::nullopt);
    click(form->Button8);
    QVERIFY(shown(form));
    QCOMPARE(form->currentPicturePath(), red);
    QCOMPARE(form->Image2->picture().size(), QSize(20, 10));
    QCOMPARE(colourOf(form->Image2), QColor(Qt::red));
    QVERIFY(!form->Button2->isEnabled());

    // Without a picture, with the flag set: still nothing changes.
    click(form->Button7);
    QVERIFY(hidden(form));
    QTest::keyClick(form->Edit2, Qt::Key_End);
    QVERIFY(form->Button2->isEnabled());
    open_dialog_seam::setNextAnswer(std::nullopt);
    click(form->Button8);
    QVERIFY(hidden(form));
    QVERIFY(form->currentPicturePath().isEmpty());
    QVERIFY(form->Button2->isEnabled());
    QCOMPARE(pictures(sandbox), (QStringList{red, QString()}));
    QVERIFY(app.boxes().empty());
}

void TestEntryEditingPictures::addShowsThePictureAndUpdateStoresItsPath() {
    Sandbox sandbox;
    const QString red = makeBitmap(sandbox.path() + "/red.bmp", Qt::red, {20, 10});
    const QString blue = makeBitmap(sandbox.path() + "/blue.bmp", Qt::blue, {30, 15});
    sandbox.createTable({contact("alpha"), contact("beta", "B", 0, red)});
    MainWindowFixture app;
    TForm1* form = app.form();
    clickTab(form, kEditTab);
    QVERIFY(hidden(form));

    // The dialog hands back a name relative to the working directory: the full path counts.
    open_dialog_seam::setNextAnswer(QStringLiteral("blue.bmp"));
    click(form->Button8);
    QVERIFY(app.boxes().empty());
    QVERIFY(shown(form));
    QCOMPARE(form->currentPicturePath(), blue);
    QCOMPARE(form->Image1->picture().size(), QSize(30, 15));
    QCOMPARE(form->Image2->picture().size(), QSize(30, 15));
    QCOMPARE(colourOf(form->Image1), QColor(Qt::blue));
    QCOMPARE(colourOf(form->Image2), QColor(Qt::blue));
    QVERIFY(form->Button2->isEnabled());
    // The table is not touched until Update Entry.
    QCOMPARE(pictures(sandbox), (QStringList{QString(), red}));

    click(form->Button2);
    QVERIFY(app.boxes().empty());
    QCOMPARE(pictures(sandbox), (QStringList{blue, red}));
    QVERIFY(!form->Button2->isEnabled());

    // Shown again whenever the record is: away to beta (red) and back.
    click(form->Button7);
    QCOMPARE(colourOf(form->Image2), QColor(Qt::red));
    QCOMPARE(form->currentPicturePath(), red);
    click(form->Button6);
    QVERIFY(shown(form));
    QCOMPARE(form->currentPicturePath(), blue);
    QCOMPARE(colourOf(form->Image1), QColor(Qt::blue));

    // Replacing a picture and moving on without Update Entry stores nothing.
    click(form->Button7);
    open_dialog_seam::setNextAnswer(blue);
    click(form->Button8);
    QCOMPARE(colourOf(form->Image2), QColor(Qt::blue));
    click(form->Button6);
    QCOMPARE(pictures(sandbox), (QStringList{blue, red}));
    click(form->Button7);
    QCOMPARE(colourOf(form->Image2), QColor(Qt::red));
    QCOMPARE(form->currentPicturePath(), red);

    // The View tab shows the stored picture too.
    click(form->Button6);
    clickTab(form, kViewTab);
    QCOMPARE(form->Edit1->text(), QStringLiteral("alpha"));
    QVERIFY(shown(form));
    QCOMPARE(colourOf(form->Image1), QColor(Qt::blue));
    QVERIFY(app.boxes().empty());
}

void TestEntryEditingPictures::addOfAFileThatCannotBeLoadedKeepsTheOldPicture() {
    Sandbox sandbox;
    const QString red = makeBitmap(sandbox.path() + "/red.bmp", Qt::red, {20, 10});
    const QString text = sandbox.path() + "/notes.txt";
    {
        QFile file(text);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a picture");
    }
    const QString missing = sandbox.path() + "/missing.bmp";
    sandbox.createTable({contact("alpha", "A", 0, red), contact("beta")});
    MainWindowFixture app;
    TForm1* form = app.form();
    clickTab(form, kEditTab);
    QVERIFY(!form->Button2->isEnabled());

    // The chosen path is taken before the load; the boxes keep their picture; no flag.
    open_dialog_seam::setNextAnswer(missing);
    click(form->Button8);
    QCOMPARE(app.boxTexts(), QStringList{QStringLiteral("Cannot open file ") + missing + '.'});
    QCOMPARE(app.boxes()[0].kind, BoxKind::Error);
    QCOMPARE(form->currentPicturePath(), missing);
    QVERIFY(shown(form));
    QCOMPARE(colourOf(form->Image1), QColor(Qt::red));
    QCOMPARE(colourOf(form->Image2), QColor(Qt::red));
    QVERIFY(!form->Button2->isEnabled());

    // A record without a picture: the boxes stay hidden.
    app.clearBoxes();
    click(form->Button7);
    QVERIFY(hidden(form));
    open_dialog_seam::setNextAnswer(text);
    click(form->Button8);
    QCOMPARE(app.boxTexts(), QStringList{QStringLiteral("Unknown picture file extension (.txt).")});
    QCOMPARE(form->currentPicturePath(), text);
    QVERIFY(hidden(form));
    QVERIFY(!form->Button2->isEnabled());
    QCOMPARE(pictures(sandbox), (QStringList{red, QString()}));
}

void TestEntryEditingPictures::clearThenUpdateStoresNoPicture() {
    Sandbox sandbox;
    const QString red = makeBitmap(sandbox.path() + "/red.bmp", Qt::red, {20, 10});
    sandbox.createTable({contact("alpha", "A", 0, red), contact("beta", "B", 0, red)});
    MainWindowFixture app;
    TForm1* form = app.form();
    clickTab(form, kEditTab);
    QVERIFY(shown(form));
    QVERIFY(!form->Button2->isEnabled());

    click(form->Button9);
    QVERIFY(hidden(form));
    QVERIFY(form->currentPicturePath().isEmpty());
    QVERIFY(form->Button2->isEnabled());
    QCOMPARE(pictures(sandbox), (QStringList{red, red})); // nothing stored yet

    click(form->Button2);
    QVERIFY(app.boxes().empty());
    QCOMPARE(pictures(sandbox), (QStringList{QString(), red}));
    const ContactRow alpha = readContacts(sandbox.dbPath())[0];
    QCOMPARE(alpha.nick, QStringLiteral("alpha"));
    QCOMPARE(alpha.name, QStringLiteral("A"));

    // Shown again, on either tab, the record has no picture.
    click(form->Button7);
    QVERIFY(shown(form));
    click(form->Button6);
    QVERIFY(hidden(form));
    QVERIFY(form->currentPicturePath().isEmpty());
    clickTab(form, kViewTab);
    QCOMPARE(form->Edit1->text(), QStringLiteral("alpha"));
    QVERIFY(hidden(form));
    QTest::mouseClick(form->Button3, Qt::LeftButton);
    QVERIFY(shown(form));
    QTest::mouseClick(form->Button4, Qt::LeftButton);
    QVERIFY(hidden(form));
    clickTab(form, kEditTab);
    QVERIFY(hidden(form));
    QVERIFY(form->currentPicturePath().isEmpty());

    // Clear on a record without a picture still sets the flag and stores nothing new.
    QVERIFY(!form->Button2->isEnabled());
    click(form->Button9);
    QVERIFY(form->Button2->isEnabled());
    QCOMPARE(pictures(sandbox), (QStringList{QString(), red}));
    QVERIFY(app.boxes().empty());
}

QTEST_MAIN(TestEntryEditingPictures)
#include "test_entry_editing_pictures.moc"
