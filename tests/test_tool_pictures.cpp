// Pictures embedded in imported contact files, as the import stores them beside the table:
// which are written, which are left out and why, and what the stored file holds.

#include "tests/support/sandbox.h"
#include "tools/contact_pictures.h"

#include <QBuffer>
#include <QColor>
#include <QDir>
#include <QImage>
#include <QTest>

#include <cstdlib>

using palvane::tool::PictureStore;

namespace {

QByteArray encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer out(&bytes);
    out.open(QIODevice::WriteOnly);
    image.save(&out, format);
    return bytes;
}

QImage greenSquare(int side) {
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(QColor(10, 200, 30));
    return image;
}

} // namespace

class TestToolPictures : public QObject {
    Q_OBJECT

private slots:
    void storesWholePicturesOnly_data();
    void storesWholePicturesOnly();
    void samePictureIsOneFile();
};

void TestToolPictures::storesWholePicturesOnly_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("problem"); // empty: stored

    const QByteArray bmp = encoded(greenSquare(64), "BMP");
    const QByteArray ico = encoded(greenSquare(32), "ICO");
    const QString damaged =
        QStringLiteral("the embedded picture is cut short or damaged; left out");
    QTest::newRow("png") << encoded(greenSquare(64), "PNG") << QString();
    QTest::newRow("jpeg") << encoded(greenSquare(64), "JPEG") << QString();
    QTest::newRow("bitmap") << bmp << QString();
    QTest::newRow("icon") << ico << QString();
    // Qt's readers fill the rows such files lack with whatever memory held.
    QTest::newRow("bitmap cut short") << bmp.left(bmp.size() - 64 * 3 * 60) << damaged;
    QTest::newRow("bitmap a byte short") << bmp.left(bmp.size() - 1) << damaged;
    QTest::newRow("icon cut short") << ico.left(ico.size() - 200) << damaged;
}

void TestToolPictures::storesWholePicturesOnly() {
    palvane::test::Sandbox sandbox;
    QFETCH(QByteArray, bytes);
    QFETCH(QString, problem);
    const QString folder = sandbox.path() + QStringLiteral("/pictures");
    PictureStore store(folder);
    QString found;
    const QString path = store.store(bytes, QStringLiteral("pic"), &found);
    QCOMPARE(found, problem);
    if (!problem.isEmpty()) {
        QVERIFY(path.isEmpty());
        QVERIFY(!QDir(folder).exists() || QDir(folder).isEmpty());
        return;
    }
    QVERIFY2(path.startsWith(folder + QStringLiteral("/pic-")), qPrintable(path));
    const QImage stored(path);
    QVERIFY(!stored.isNull());
    // The green of the picture (JPEG may shift a channel by a step or two).
    const QColor middle = stored.pixelColor(stored.width() / 2, stored.height() / 2);
    QVERIFY2(std::abs(middle.red() - 10) <= 4 && std::abs(middle.green() - 200) <= 4 &&
                 std::abs(middle.blue() - 30) <= 4,
             qPrintable(middle.name()));
    // Only the picture, no temporary file beside it.
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 1);
    store.keep();
}

void TestToolPictures::samePictureIsOneFile() {
    palvane::test::Sandbox sandbox;
    const QString folder = sandbox.path() + QStringLiteral("/pictures");
    const QByteArray png = encoded(greenSquare(16), "PNG");
    QString problem;
    PictureStore first(folder);
    const QString path = first.store(png, QStringLiteral("pic"), &problem);
    QVERIFY(!path.isEmpty());
    first.keep();
    {
        // A later import of the same picture finds the file and does not take it for its own:
        // failing, it leaves the earlier import's file in place.
        PictureStore second(folder);
        QCOMPARE(second.store(png, QStringLiteral("pic"), &problem), path);
    }
    QVERIFY(QFileInfo::exists(path));
    QCOMPARE(problem, QString());
}

QTEST_GUILESS_MAIN(TestToolPictures)
#include "test_tool_pictures.moc"
